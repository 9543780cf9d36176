// A client of the activity bridge for tests, with the stand-in server's own exchange:
//   node activity-bridge-client.mjs <socket> <send|halfclose|silent|reset> [text] [outFile]
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

bridgeExchange(socketPath, text, mode).then(finish, (error) => finish('error ' + (error.code ?? error.message)));
