// The idle host without a sound server: it must not spin retrying, and it must still
// notice a server that appears later.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdirSync, existsSync } from 'node:fs';
import { join } from 'node:path';
import { makeHome, startHost, call, cpuSeconds } from './lib/host.mjs';

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function startPulse(folder, socket) {
  mkdirSync(folder, { recursive: true });
  const env = { ...process.env, PULSE_RUNTIME_PATH: folder, PULSE_STATE_PATH: folder, HOME: folder, XDG_CONFIG_HOME: folder };
  delete env.DBUS_SESSION_BUS_ADDRESS;
  delete env.PULSE_SERVER;
  return spawn('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--disallow-exit', '--use-pid-file=no',
    '--disable-shm', `--load=module-native-protocol-unix socket=${socket}`,
    '--load=module-null-sink sink_name=tarn_idle_sink rate=44100 channels=2'], { env, stdio: 'ignore' });
}

test('idle without a sound server, then the server arrives', { timeout: 120000 }, async () => {
  const home = makeHome();
  const socket = join(home.root, 'pulse', 'native');
  const host = await startHost({ home, env: { PULSE_SERVER: `unix:${socket}` } });
  let pulse;
  try {
    assert.equal((await call(host, ['$$app_startevent', 'true'])).text, 'b1');
    // A retry storm grows with time: measure from 10 s to 30 s after the start.
    await sleep(10000);
    const before = cpuSeconds(host.child.pid);
    await sleep(20000);
    const used = (cpuSeconds(host.child.pid) - before) / 20;
    console.log('idle cpu', JSON.stringify({ share: used }));
    assert.ok(used < 0.02, `the idle host used ${(used * 100).toFixed(1)} % of a core`);

    pulse = startPulse(join(home.root, 'pulse'), socket);
    // The watcher retries at most every 30 s.
    const end = Date.now() + 45000;
    let changed = false;
    while (!changed && Date.now() < end) {
      for (;;) {
        const event = (await call(host, ['$$app_getevent'])).text;
        if (!event || event === 'v' || event === 's') break;
        if (event === 's' + 'audio\fchanged') changed = true;
      }
      if (!changed) await sleep(250);
    }
    assert.ok(changed, 'no "changed" after the sound server started');
    assert.match((await call(host, ['$$audio_outputs'])).text, /tarn_idle_sink/);
  } finally {
    pulse?.kill('SIGTERM');
    await host.stop();
  }
  assert.ok(!existsSync(home.root));
});
