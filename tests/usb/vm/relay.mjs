// Takes connections on ADDRESS:PORT and hands each to 127.0.0.1:PORT (the headless host,
// which serves on loopback only), both ways, until either side closes. Prints "ready"
// once it listens.
//   node relay.mjs ADDRESS PORT
import net from 'node:net';

const [address, port] = [process.argv[2], Number(process.argv[3])];
net.createServer((outside) => {
  const host = net.connect(port, '127.0.0.1');
  outside.pipe(host).pipe(outside);
  outside.on('error', () => host.destroy());
  host.on('error', () => outside.destroy());
}).listen(port, address, () => console.log('ready'));
