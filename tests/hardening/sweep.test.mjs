// Every bridge call of every module, listed from the module tables at run time, called
// through the real headless host with hostile arguments. Each must answer within 2 s
// with a tagged result (or the transport's clean refusal) and the host must stay up.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { makeHome, hostEnv, startHost, call } from './lib/host.mjs';

// Calls that start programs, signal processes, delete or move files given by path,
// release volumes or end the host: never swept.
const EXCLUDED = new Set([
  '$$sh_exec', '$$sh_kill', '$$fs_exec', '$$fs_unlink', '$$fs_move', '$$fs_unmount',
  '$$midi_panel', '$$midix_panel', '$$app_webauth', '$$app_exit',
]);

function hostileValues(home) {
  const fifo = join(home.root, 'fifo');
  execFileSync('mkfifo', [fifo]);
  mkdirSync(join(home.root, 'folder'));
  writeFileSync(join(home.root, 'plain.txt'), 'plain');
  return [
    '', 'x'.repeat(1 << 20), '{', '[1,', '{"a":', '[]', '{}', '[[[[]]]]', '{"offset":"a","length":{}}', 'null', '"text"',
    '-1', '-2147483649', '2147483647', '99999999999999999999', '1e308', '-1e308', 'NaN', 'Infinity', '0x7fffffff',
    join(home.root, 'missing', 'none.wav'), join(home.root, 'folder'), '/dev/zero', fifo,
    'a\u0000b', `${join(home.root, 'plain.txt')}\u0000.wav`, '\ud800', 'x\udfffy', 'C328FFFE80', 'zz', '0',
  ];
}

test('every bridge call survives hostile arguments', { timeout: 240000 }, async () => {
  const home = makeHome();
  const names = execFileSync(process.env.TARN_FUNCTIONS_BIN, { env: hostEnv(home), encoding: 'utf8', timeout: 30000 })
    .split('\n').filter(Boolean);
  // The tables are really there: a few calls every build answers.
  for (const known of ['$$fs_readString', '$$audio_format', '$$midix_client', '$$trnWav_alignTo4byteData', '$$util_bytes'])
    assert.ok(names.includes(known), known + ' missing from ' + names.join(' '));
  const swept = names.filter((n) => !EXCLUDED.has(n));
  const values = hostileValues(home);
  const host = await startHost({ home });
  const counts = { functions: swept.length, excluded: names.length - swept.length, calls: 0, refused: 0 };
  const failures = [];
  let slowest = { ms: 0 };
  try {
    for (const name of swept) {
      const argLists = [[name], ...values.map((v) => [name, v]), ...values.map((v) => [name, v, v]),
        [name, join(home.root, 'plain.txt'), values[1]]];
      for (const args of argLists) {
        const answer = await call(host, args, { timeout: 2000 });
        counts.calls += 1;
        if (answer.ms > slowest.ms) slowest = { ms: answer.ms, name, arg: String(args[1] ?? '').slice(0, 40) };
        const show = `${name}(${args.slice(1).map((a) => JSON.stringify(a.slice(0, 40))).join(', ')})`;
        if (answer.error) { failures.push(`${show}: ${answer.error} after ${answer.ms} ms`); continue; }
        if (answer.status === 400) { counts.refused += 1; continue; }  // not a JSON array of strings
        if (answer.status !== 200 || !/^[vbdfse]/.test(answer.text)) {
          failures.push(`${show}: status ${answer.status} ${answer.text.slice(0, 80)}`);
          continue;
        }
        counts[answer.text[0]] = (counts[answer.text[0]] || 0) + 1;
      }
      if (!host.alive()) { failures.push(`host died during ${name}: ${host.stderr().slice(-400)}`); break; }
    }
    console.log('sweep', JSON.stringify({ ...counts, slowest }));
    assert.deepEqual(failures, []);
    assert.equal((await call(host, ['$$util_bytes', 'a'])).text, 's61');
  } finally {
    const end = await host.stop();
    // A clean exit after all that: no crash, no worker left hanging at shutdown.
    assert.deepEqual(end, { code: 0, signal: null }, host.stderr().slice(-400));
  }
});
