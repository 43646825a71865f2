// The page library's calls against the host's module tables, both ways: every call name the
// library sends (the real command-line script host runs the library and each of its
// functions once) must be in a module's table, and every function in a table must be
// reachable from the library. The host's tables come from bridge_functions, which lists
// those of the one bridge assembly all three hosts use.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, writeFileSync, copyFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const SOURCE = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const LIBRARY = ['js/lib/native.js', 'js/lib/trn.js'];

// Replaces the host's call with a recorder, runs every function of every module object
// once and prints the call names sent, one a line.
const LISTER = `var Tarn = { cli: { run: function () {
  var sent = [];
  $host.call = function (body) { sent.push(JSON.parse(body)[0]); return 'v'; };
  Object.keys($native).forEach(function (module) {
    var object = $native[module];
    if (!object || typeof object !== 'object') return;
    Object.keys(object).forEach(function (name) {
      if (typeof object[name] === 'function') object[name]();
    });
  });
  $host.write(1, sent.join('\\n') + '\\n');
  $host.exit(0);
} } };
`;

function privateEnv(home, extra = {}) {
  for (const dir of ['run', 'data', 'config', 'tmp']) mkdirSync(join(home, dir), { recursive: true, mode: 0o700 });
  return {
    PATH: process.env.PATH, HOME: home, XDG_RUNTIME_DIR: join(home, 'run'), XDG_DATA_HOME: join(home, 'data'),
    XDG_CONFIG_HOME: join(home, 'config'), TMPDIR: join(home, 'tmp'), ...extra,
  };
}

function lines(text) {
  return text.split('\n').filter(Boolean);
}

test('the page library and the host tables declare the same calls', (t) => {
  const home = mkdtempSync(join(tmpdir(), 'tarn-contract-'));
  t.after(() => rmSync(home, { recursive: true, force: true }));
  const root = join(home, 'page');
  mkdirSync(join(root, 'js/lib'), { recursive: true });
  mkdirSync(join(root, 'js/tarn'), { recursive: true });
  for (const file of LIBRARY) copyFileSync(join(SOURCE, 'page', file), join(root, file));
  writeFileSync(join(root, 'js/tarn/list.js'), LISTER);
  writeFileSync(join(root, 'js/cli-scripts.json'), JSON.stringify([...LIBRARY, 'js/tarn/list.js']));

  const env = privateEnv(home, { TARN_PAGE_ROOT: root });
  const run = spawnSync(process.env.TARN_BIN, ['devices'], { env, cwd: home, encoding: 'utf8', timeout: 30000 });
  assert.equal(run.status, 0, run.stderr);
  const page = new Set(lines(run.stdout));
  const host = new Set(lines(execFileSync(process.env.TARN_FUNCTIONS_BIN, { env, encoding: 'utf8', timeout: 30000 })));
  // Both sides really listed something (a broken lister must not pass as agreement).
  assert.ok(page.has('$$app_startevent') && page.has('$$trnWav_alignTo4byteData'), [...page].join(' '));
  assert.ok(host.has('$$app_startevent') && host.has('$$trnWav_alignTo4byteData'), [...host].join(' '));

  const notInHost = [...page].filter((name) => !host.has(name));
  const notInPage = [...host].filter((name) => !page.has(name));
  assert.deepEqual({ notInHost, notInPage }, { notInHost: [], notInPage: [] });
});
