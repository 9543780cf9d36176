#!/usr/bin/env node
// The stand-in local server: answers what TheTovarin and its widget call, on
// 127.0.0.1 only, with Node's standard library alone.
//
//   node tools/server.mjs --port N
//
// Environment read:
//   VORN_APP_VERSION, VORN_INSTANCE_NONCE   the health answer
//   VORN_DATA                               where settings are kept once one is changed
//   TOVARIN_TEST_SLOW_START=<ms>            listen only after that delay
//   TOVARIN_TEST_REFUSE_STREAM=1            answer /api/stream with 503
//   TOVARIN_TEST_HEALTH=malformed|html|protocol2   a bad health answer
//   TOVARIN_TEST_INTROSPECT=1               serve GET /__test/process (argv, cwd, env)
//
// Features (page powers, relays, feeds) live in tools/server/*.mjs, one module each.

import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const KEEP_ALIVE_MS = 15000;
const MAX_BODY_BYTES = 1 << 20;
const SETTING_KEYS = {
  floatingWindow: (v) => typeof v === 'boolean',
  stickyLevel: (v) => ['topmost', 'floating', 'main', 'normal', 'desktop'].includes(v),
  stickySpaceScope: (v) => v === 'current' || v === 'all',
};

function parsePort(argv) {
  const at = argv.indexOf('--port');
  if (at < 0) return 4173;
  const text = argv[at + 1] ?? '';
  const port = /^\d{1,5}$/.test(text) ? Number(text) : NaN;
  if (!(port >= 1 && port <= 65535)) {
    process.stderr.write(`server.mjs: bad --port ${JSON.stringify(text)}\n`);
    process.exit(2);
  }
  return port;
}

const port = parsePort(process.argv.slice(2));
const env = process.env;

// ---- Data: in memory; written to VORN_DATA's file only once something changes it.

const state = {
  settings: { floatingWindow: false, stickyLevel: 'floating', stickySpaceScope: 'current' },
  revision: 0,
  presence: { count: 0, last: null },
  dataWrites: 0,
  streamClients: new Set(),
  requests: 0,
  // When each page reported its load event (ms since 1970), for tests and timing.
  pageLoads: { main: [], widget: [] },
  // When each page reported its first frame, likewise.
  pagePaints: { main: [], widget: [] },
};

function loadSavedSettings() {
  if (!env.VORN_DATA) return;
  try {
    const saved = JSON.parse(fs.readFileSync(env.VORN_DATA, 'utf8'));
    const settings = saved && typeof saved === 'object' ? saved.settings : null;
    if (settings && typeof settings === 'object') applySettings(settings);
  } catch {
    // Missing or unreadable: start from the defaults and leave the file alone.
  }
}

function applySettings(patch) {
  const accepted = {};
  for (const [key, value] of Object.entries(patch)) {
    if (SETTING_KEYS[key] && SETTING_KEYS[key](value)) accepted[key] = value;
  }
  Object.assign(state.settings, accepted);
  return accepted;
}

function saveSettings() {
  if (!env.VORN_DATA) return;
  const file = env.VORN_DATA;
  const temporary = `${file}.${process.pid}.tmp`;
  try {
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(temporary, JSON.stringify({ settings: state.settings }, null, 2));
    fs.renameSync(temporary, file);
    state.dataWrites += 1;
  } catch (error) {
    process.stderr.write(`server.mjs: cannot save ${file}: ${error.message}\n`);
  }
}

// ---- The change stream

function broadcastChange(what) {
  state.revision += 1;
  const payload = JSON.stringify({ revision: state.revision, what });
  for (const client of state.streamClients) client.write(`event: change\ndata: ${payload}\n\n`);
}

function openStream(request, response) {
  if (env.TOVARIN_TEST_REFUSE_STREAM === '1') {
    return send(response, 503, 'text/plain; charset=utf-8', 'stream refused\n');
  }
  response.writeHead(200, {
    'Content-Type': 'text/event-stream; charset=utf-8',
    'Cache-Control': 'no-cache',
    Connection: 'keep-alive',
  });
  response.write(': hello\n\n');
  state.streamClients.add(response);
  const keepAlive = setInterval(() => response.write(': keep-alive\n\n'), KEEP_ALIVE_MS);
  const forget = () => {
    clearInterval(keepAlive);
    state.streamClients.delete(response);
  };
  request.on('close', forget);
  response.on('error', forget);
}

// ---- Pages

// Each page is the shared frame plus what every feature module adds to it (see
// loadFeatures): markup in the body, then its script.
const pageParts = { main: { html: [], script: [] }, widget: { html: [], script: [] } };

function page(title, heading, name) {
  const parts = pageParts[name] ?? { html: [], script: [] };
  return `<!doctype html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>${title}</title>
<style>
  :root { color-scheme: light dark; font-family: "Noto Sans CJK SC", sans-serif; }
  body { margin: 0; padding: 24px; background: transparent; }
  h1 { font-size: 20px; margin: 0 0 8px; }
  p { margin: 4px 0; opacity: 0.8; }
  section { margin: 12px 0; }
</style>
</head>
<body>
<h1>${heading}</h1>
<p id="status">本机服务已就绪。</p>
${parts.html.join('\n')}
<script>
  window.__tovarinPage = '${name}';
${parts.script.join('\n')}
  addEventListener('load', () => {
    fetch('/__test/page-loaded?page=' + window.__tovarinPage, { method: 'POST' }).catch(() => {});
  });
  // The first frame: a frame callback runs just before it is drawn, a task queued from
  // there just after.
  requestAnimationFrame(() => setTimeout(() => {
    fetch('/__test/page-painted?page=' + window.__tovarinPage, { method: 'POST' }).catch(() => {});
  }, 0));
</script>
</body>
</html>
`;
}

function recordPageTime(times, request, response) {
  const page = new URL(request.url, 'http://127.0.0.1').searchParams.get('page');
  if (!Object.hasOwn(times, page)) return sendJson(response, 400, { error: 'unknown page' });
  times[page].push(Date.now());
  response.writeHead(204);
  response.end();
}

let INDEX_HTML = '';
let WIDGET_HTML = '';

function buildPages() {
  INDEX_HTML = page('岚笺', '岚笺', 'main');
  WIDGET_HTML = page('岚笺便签', '便签', 'widget');
}

// ---- HTTP plumbing

function send(response, status, contentType, body) {
  const bytes = Buffer.from(body, 'utf8');
  response.writeHead(status, {
    'Content-Type': contentType,
    'Content-Length': bytes.length,
    'Cache-Control': 'no-store',
  });
  response.end(bytes);
}

function sendJson(response, status, value) {
  send(response, status, 'application/json; charset=utf-8', JSON.stringify(value));
}

function readBody(request) {
  return new Promise((resolve, reject) => {
    const chunks = [];
    let size = 0;
    request.on('data', (chunk) => {
      size += chunk.length;
      if (size > MAX_BODY_BYTES) {
        reject(new Error('body too large'));
        request.destroy();
        return;
      }
      chunks.push(chunk);
    });
    request.on('end', () => resolve(Buffer.concat(chunks).toString('utf8')));
    request.on('error', reject);
  });
}

async function readJsonObject(request, response) {
  let text;
  try {
    text = await readBody(request);
  } catch {
    sendJson(response, 413, { error: 'body too large' });
    return null;
  }
  let value;
  try {
    value = text.length ? JSON.parse(text) : {};
  } catch {
    sendJson(response, 400, { error: 'body is not JSON' });
    return null;
  }
  if (!value || typeof value !== 'object' || Array.isArray(value)) {
    sendJson(response, 400, { error: 'body is not a JSON object' });
    return null;
  }
  return value;
}

function healthAnswer(response) {
  switch (env.TOVARIN_TEST_HEALTH) {
    case 'malformed':
      return send(response, 200, 'application/json', '{"protocol": 3, "appVersion"');
    case 'html':
      return send(response, 200, 'text/html; charset=utf-8', page('错误', '不是本机服务', 'error'));
    case 'protocol2':
      return sendJson(response, 200, {
        protocol: 2,
        appVersion: env.VORN_APP_VERSION,
        instanceNonce: env.VORN_INSTANCE_NONCE,
      });
    default:
      return sendJson(response, 200, {
        protocol: 3,
        appVersion: env.VORN_APP_VERSION,
        instanceNonce: env.VORN_INSTANCE_NONCE,
      });
  }
}

// {"settings": {...}}: the known keys with valid values are merged; others are ignored.
async function writeSettings(request, response) {
  const body = await readJsonObject(request, response);
  if (!body) return;
  const patch = body.settings;
  if (!patch || typeof patch !== 'object' || Array.isArray(patch)) {
    return sendJson(response, 400, { error: 'settings must be an object' });
  }
  const accepted = applySettings(patch);
  if (Object.keys(accepted).length > 0) {
    saveSettings();
    broadcastChange('settings');
  }
  sendJson(response, 200, { data: { settings: state.settings } });
}

async function takePresence(request, response) {
  const body = await readJsonObject(request, response);
  if (!body) return;
  state.presence.count += 1;
  state.presence.last = { body, at: Date.now() };
  response.writeHead(204);
  response.end();
}

function testState() {
  return {
    presenceCount: state.presence.count,
    lastPresence: state.presence.last,
    streamClients: state.streamClients.size,
    revision: state.revision,
    dataWrites: state.dataWrites,
    settings: state.settings,
    requests: state.requests,
    pageLoads: state.pageLoads,
    pagePaints: state.pagePaints,
  };
}

const routes = {
  'GET /api/health': (request, response) => healthAnswer(response),
  'GET /': (request, response) => send(response, 200, 'text/html; charset=utf-8', INDEX_HTML),
  'GET /index.html': (request, response) => send(response, 200, 'text/html; charset=utf-8', INDEX_HTML),
  'GET /widget.html': (request, response) => send(response, 200, 'text/html; charset=utf-8', WIDGET_HTML),
  'GET /api/stream': openStream,
  'GET /api/data': (request, response) => sendJson(response, 200, { data: { settings: state.settings } }),
  'POST /api/data': writeSettings,
  'POST /api/account/reminders/presence': takePresence,
  'GET /__test/state': (request, response) => sendJson(response, 200, testState()),
  'POST /__test/page-loaded': (request, response) => recordPageTime(state.pageLoads, request, response),
  'POST /__test/page-painted': (request, response) => recordPageTime(state.pagePaints, request, response),
  'POST /__test/change': (request, response) => {
    broadcastChange('test');
    sendJson(response, 200, { revision: state.revision });
  },
  'GET /__test/process': (request, response) => {
    if (env.TOVARIN_TEST_INTROSPECT !== '1') return sendJson(response, 404, { error: 'not found' });
    sendJson(response, 200, { argv: process.argv, cwd: process.cwd(), env: process.env, pid: process.pid });
  },
};

function handleRequest(request, response) {
  state.requests += 1;
  let pathname;
  try {
    pathname = new URL(request.url, 'http://127.0.0.1').pathname;
  } catch {
    // A target such as "//" is no URL at all; it must not take the server down.
    return sendJson(response, 400, { error: 'bad request target' });
  }
  const route = routes[`${request.method} ${pathname}`];
  if (!route) return answerNoRoute(response, pathname);
  Promise.resolve(route(request, response)).catch((error) => {
    if (!response.headersSent) sendJson(response, 500, { error: String(error && error.message) });
    else response.destroy();
  });
}

function answerNoRoute(response, pathname) {
  const known = Object.keys(routes).some((key) => key.endsWith(` ${pathname}`));
  sendJson(response, known ? 405 : 404, { error: known ? 'method not allowed' : 'not found' });
}

const server = http.createServer(handleRequest);

server.on('error', (error) => {
  process.stderr.write(`server.mjs: ${error.message}\n`);
  process.exit(1);
});

// ---- Feature modules: every tools/server/*.mjs exports register(context), which adds
// routes and page parts. One file per feature keeps the features apart.

async function loadFeatures() {
  const dir = path.join(path.dirname(fileURLToPath(import.meta.url)), 'server');
  let files = [];
  try {
    files = fs.readdirSync(dir).filter((name) => name.endsWith('.mjs')).sort();
  } catch {
    return;
  }
  const context = {
    env, state, routes, pageParts, send, sendJson, readBody, readJsonObject, broadcastChange, page, server,
  };
  for (const name of files) {
    const feature = await import(path.join(dir, name));
    if (typeof feature.register === 'function') feature.register(context);
  }
}

await loadFeatures();
buildPages();
loadSavedSettings();
const slowStart = Number(env.TOVARIN_TEST_SLOW_START ?? 0);
setTimeout(() => server.listen(port, '127.0.0.1'), Number.isFinite(slowStart) && slowStart > 0 ? slowStart : 0);
