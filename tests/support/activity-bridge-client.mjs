// A client of the activity bridge for tests, with the stand-in server's own exchange:
//   node activity-bridge-client.mjs <socket> <send|halfclose|silent|reset> [text] [outFile]
// Text given as "hex:<digits>" is sent as those bytes (an argument cannot carry a NUL).
// The reply goes to outFile when given (for a client that outlives its parent), else to
// stdout; a failed connection writes "error <code>".
import fs from 'node:fs';
import { bridgeExchange } from '../../tools/server/activity.mjs';

const [socketPath, mode, text = '', outFile] = process.argv.slice(2);

function finish(reply) {
  if (!outFile) return process.stdout.write(reply);
  fs.writeFileSync(outFile + '.part', reply);
  fs.renameSync(outFile + '.part', outFile);
}

const bytes = text.startsWith('hex:') ? Buffer.from(text.slice(4), 'hex') : text;

bridgeExchange(socketPath, bytes, mode).then(finish, (error) => finish('error ' + (error.code ?? error.message)));
