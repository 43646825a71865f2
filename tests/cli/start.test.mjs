// Starting tarn wrongly: a mistyped command, a second headless host, and a headless host's
// token kept in a file so that its address can be bookmarked.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync, readFileSync, writeFileSync, statSync, chmodSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const TARN = process.env.TARN_BIN;

function makeHome(t) {
  const home = mkdtempSync(join(tmpdir(), 'tarn-start-'));
  t.after(() => rmSync(home, { recursive: true, force: true }));
  for (const dir of ['run', 'data', 'config', 'tmp']) mkdirSync(join(home, dir), { mode: 0o700 });
  return {
    home,
    env: { PATH: process.env.PATH, HOME: home, XDG_RUNTIME_DIR: join(home, 'run'), XDG_DATA_HOME: join(home, 'data'),
      XDG_CONFIG_HOME: join(home, 'config'), TMPDIR: join(home, 'tmp') },
  };
}

const once = (setup, args) => spawnSync(TARN, args, { env: setup.env, cwd: setup.home, encoding: 'utf8', timeout: 20000 });

// A headless host; resolves with the child and the address it printed.
function startHost(setup, args) {
  return new Promise((resolve, reject) => {
    const child = spawn(TARN, ['--headless', ...args], { env: setup.env, cwd: setup.home, stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '', err = '';
    child.stdout.on('data', (d) => { out += d; if (out.includes('\n')) resolve({ child, address: new URL(out.trim()) }); });
    child.stderr.on('data', (d) => { err += d; });
    child.on('exit', (code) => reject(new Error(`the host ended (${code}): ${err}`)));
  });
}

async function stop(child) {
  if (child.exitCode !== null) return;
  child.kill('SIGTERM');
  await new Promise((r) => child.once('exit', r));
}

test('a mistyped command is an error that starts nothing', (t) => {
  const setup = makeHome(t);
  const r = once(setup, ['lst']);
  assert.equal(r.status, 2);
  assert.equal(r.stderr, "tarn: 'lst' is not a tarn command. See 'tarn --help'.\nDid you mean 'tarn ls'?\n");
  assert.equal(r.stdout, '', 'no page address: no server was started');
  // A file that is there is opened, not refused (it starts a host, stopped at once).
  writeFileSync(join(setup.home, 'lst'), '');
  const host = spawn(TARN, ['lst'], { env: setup.env, cwd: setup.home, stdio: ['ignore', 'pipe', 'pipe'] });
  return new Promise((resolve) => host.stdout.once('data', (d) => {
    assert.match(String(d), /^http:\/\/127\.0\.0\.1:\d+\//);
    stop(host).then(resolve);
  }));
});

test('one host at a time; --token-file keeps the address from run to run, privately', async (t) => {
  const setup = makeHome(t);
  const tokenFile = join(setup.home, 'config', 'tarn.token');
  const first = await startHost(setup, ['--token-file', tokenFile]);
  t.after(() => stop(first.child));
  const token = readFileSync(tokenFile, 'utf8').trim();
  assert.match(token, /^[0-9A-Fa-f]{64}$/);
  assert.equal(first.address.searchParams.get('token'), token);
  assert.equal(statSync(tokenFile).mode & 0o777, 0o600);

  const second = once(setup, ['--headless']);
  assert.equal(second.status, 1);
  assert.match(second.stderr, /^tarn: Tarn is already running \(a window or a headless host\); close it first\.\n$/);
  await stop(first.child);

  const again = await startHost(setup, [`--token-file=${tokenFile}`]);
  assert.equal(again.address.searchParams.get('token'), token, 'the same token as the last run');
  await stop(again.child);

  // A token others can read, or a file that holds no token, is not used.
  chmodSync(tokenFile, 0o644);
  let r = once(setup, ['--headless', '--token-file', tokenFile]);
  assert.equal(r.status, 1);
  assert.match(r.stderr, /others may read it/);
  writeFileSync(tokenFile, 'not a token', { mode: 0o600 });
  chmodSync(tokenFile, 0o600);
  r = once(setup, ['--headless', '--token-file', tokenFile]);
  assert.equal(r.status, 1);
  assert.match(r.stderr, /holds no token/);
  assert.equal(readFileSync(tokenFile, 'utf8'), 'not a token', 'left as it was');
});
