// The activity record, read as the real local server reads it: over the desktop
// program's Unix socket, one JSON line each way per connection.
//
// Environment read:
//   TOVARIN_ACTIVITY_SOCKET, TOVARIN_ACTIVITY_TOKEN   where the bridge is and its secret
//   TOVARIN_ACTIVITY_PAGE_SHA256   SHA-256 (hex) of the token a page must present in the
//                                  "tovarin_activity" cookie to read the record
//   TOVARIN_TEST_ACTIVITY_RAW=1    serve POST /__test/activity/raw (hostile requests)
//
// Routes:
//   POST /api/activity/owner  {"owner": null | "<64 hex>"}  reports the signed-in account
//                             now and every 60 s after, as the real server keeps doing
//   GET  /api/activity/items?from=YYYY-MM-DD&to=YYYY-MM-DD[&app=][&text=]  the page's query
//   POST /__test/activity/raw {"line": "...", "mode": "send"|"halfclose"|"silent"|"reset",
//                             "token": true}  sends the bytes as they are ("token": true
//                             puts the real token where the line says $TOKEN)

import net from 'node:net';
import crypto from 'node:crypto';

const REPORT_EVERY_MS = 60000;
const BRIDGE_TIMEOUT_MS = 5000;
const PAGE_COOKIE = 'tovarin_activity';

// One connection: writes `bytes`, then collects the reply until the bridge closes.
export function bridgeExchange(socketPath, bytes, mode = 'send') {
  return new Promise((resolve, reject) => {
    const received = [];
    let settled = false;
    const finish = (error) => {
      if (settled) return;
      settled = true;
      clearTimeout(timer);
      connection.destroy();
      const reply = Buffer.concat(received).toString('utf8');
      // A refused peer is answered before its request is read; the answer still counts.
      if (error && !reply) reject(error);
      else resolve(reply);
    };
    const connection = net.createConnection({ path: socketPath, allowHalfOpen: true });
    const timer = setTimeout(() => finish(new Error('bridge timed out')), BRIDGE_TIMEOUT_MS);
    connection.on('connect', () => {
      if (mode === 'silent') return;
      connection.write(bytes);
      if (mode === 'halfclose') connection.end();
      if (mode === 'reset') finish(null);
    });
    connection.on('data', (chunk) => received.push(chunk));
    connection.on('end', () => finish(null));
    connection.on('error', (error) => finish(error));
  });
}

function parseReply(text) {
  if (!text.endsWith('\n')) return null;
  try {
    const value = JSON.parse(text);
    return value && typeof value === 'object' && !Array.isArray(value) ? value : null;
  } catch {
    return null;
  }
}

function cookieValue(request, name) {
  for (const part of String(request.headers.cookie ?? '').split(';')) {
    const equals = part.indexOf('=');
    if (equals > 0 && part.slice(0, equals).trim() === name) return part.slice(equals + 1).trim();
  }
  return null;
}

function pageMayRead(request, expectedHash) {
  const token = cookieValue(request, PAGE_COOKIE);
  if (!expectedHash || !token) return false;
  const digest = crypto.createHash('sha256').update(token, 'utf8').digest();
  const expected = Buffer.from(expectedHash, 'hex');
  return expected.length === digest.length && crypto.timingSafeEqual(digest, expected);
}

export function register(context) {
  const { env, state } = context;
  const activity = (state.activity = { owner: undefined, reports: 0, lastReply: null, timer: null });
  const bridge = { socketPath: env.TOVARIN_ACTIVITY_SOCKET, token: env.TOVARIN_ACTIVITY_TOKEN, activity };
  takeOwner(context, bridge);
  serveItems(context, bridge);
  context.routes['GET /__test/activity'] = (request, response) =>
    context.sendJson(response, 200, { owner: activity.owner ?? null, reports: activity.reports, lastReply: activity.lastReply });
  sendRawLines(context, bridge);
}

// One request to the bridge, answered as {status, body} for the page.
async function ask({ socketPath, token }, body) {
  if (!socketPath || !token) return { status: 503, body: { error: 'activity bridge not configured' } };
  let text;
  try {
    text = await bridgeExchange(socketPath, JSON.stringify({ v: 1, token, ...body }) + '\n');
  } catch (error) {
    return { status: 502, body: { error: `activity bridge unreachable: ${error.code ?? error.message}` } };
  }
  const reply = parseReply(text);
  if (!reply) return { status: 502, body: { error: 'activity bridge answered no JSON line' } };
  return { status: 200, body: reply };
}

async function reportOwner(bridge) {
  const { activity } = bridge;
  activity.reports += 1;
  const answer = await ask(bridge, { op: 'owner', owner: activity.owner });
  activity.lastReply = answer.body;
  return answer;
}

function takeOwner({ routes, sendJson, readJsonObject }, bridge) {
  const { activity } = bridge;
  routes['POST /api/activity/owner'] = async (request, response) => {
    const body = await readJsonObject(request, response);
    if (!body) return;
    const owner = body.owner;
    if (!(owner === null || (typeof owner === 'string' && /^[0-9a-f]{64}$/.test(owner)))) {
      return sendJson(response, 400, { error: 'owner must be null or 64 lower-case hex digits' });
    }
    activity.owner = owner;
    clearInterval(activity.timer);
    activity.timer = setInterval(() => reportOwner(bridge).catch(() => {}), REPORT_EVERY_MS);
    activity.timer.unref();
    const answer = await reportOwner(bridge);
    sendJson(response, answer.status, answer.body);
  };
}

function serveItems({ env, routes, sendJson }, bridge) {
  const { activity } = bridge;
  routes['GET /api/activity/items'] = async (request, response) => {
    if (!pageMayRead(request, env.TOVARIN_ACTIVITY_PAGE_SHA256)) {
      return sendJson(response, 403, { error: 'this page may not read the activity record' });
    }
    if (typeof activity.owner !== 'string') return sendJson(response, 409, { error: 'nobody is signed in' });
    const query = new URL(request.url, 'http://127.0.0.1').searchParams;
    const args = { from: query.get('from') ?? '', to: query.get('to') ?? '' };
    for (const key of ['app', 'text']) if (query.get(key)) args[key] = query.get(key);
    const answer = await ask(bridge, { op: 'query', owner: activity.owner, args });
    sendJson(response, answer.status, answer.body);
  };
}

function sendRawLines({ env, routes, sendJson, readJsonObject }, { socketPath, token }) {
  routes['POST /__test/activity/raw'] = async (request, response) => {
    if (env.TOVARIN_TEST_ACTIVITY_RAW !== '1') return sendJson(response, 404, { error: 'not found' });
    const body = await readJsonObject(request, response);
    if (!body) return;
    if (typeof body.line !== 'string') return sendJson(response, 400, { error: 'line must be a string' });
    const line = body.token === true ? body.line.split('$TOKEN').join(token ?? '') : body.line;
    try {
      sendJson(response, 200, { reply: await bridgeExchange(socketPath, line, body.mode ?? 'send') });
    } catch (error) {
      sendJson(response, 200, { error: String(error.code ?? error.message) });
    }
  };
}
