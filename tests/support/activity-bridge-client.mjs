// A client of the activity bridge for tests: node activity-bridge-client.mjs <socket> <mode> [text] [outFile]
//   send      writes text as it is and keeps its side open until the reply ends
//   halfclose writes text, then closes its writing side
//   silent    writes nothing and waits for the reply
//   reset     writes text and drops the connection at once
// The reply goes to outFile when given (for a client that outlives its parent), else to stdout.
import net from 'node:net';
import fs from 'node:fs';

const [socketPath, mode, text = '', outFile] = process.argv.slice(2);
const received = [];
const connection = net.createConnection({ path: socketPath, allowHalfOpen: true });

function finish(reply) {
  if (outFile) fs.writeFileSync(outFile + '.part', reply), fs.renameSync(outFile + '.part', outFile);
  else process.stdout.write(reply);
}

connection.on('connect', () => {
  if (mode === 'silent') return;
  connection.write(text);
  if (mode === 'halfclose') connection.end();
  if (mode === 'reset') { connection.destroy(); finish(''); }
});
connection.on('data', (chunk) => received.push(chunk));
connection.on('end', () => { finish(Buffer.concat(received).toString('utf8')); connection.destroy(); });
connection.on('error', (error) => { finish('error ' + error.code); });
