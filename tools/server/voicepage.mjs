// Voice on the stand-in pages: both pages install window.__voice, offer hold-to-talk
// dictation, read-aloud of a text and a streamed read-aloud, and show every event the
// program hands them. With TOVARIN_TEST_VOICE_PAGE=1 a page also reports each event to
// the server and takes requests queued for it, so that a test can drive the real
// program's pages:
//   POST /__test/voice-page/request {page, body}   queue a body for the page to post
//   GET  /__test/voice-page/events                 {main: [...], widget: [...]}

const PAGES = ['main', 'widget'];
const MAX_QUEUED = 100;
const MAX_EVENTS = 1000;

const HTML = `<section id="voice">
  <h2>语音</h2>
  <button id="voice-hold" type="button">按住说话</button>
  <p id="voice-text"></p>
  <textarea id="voice-read" rows="2" cols="40">你好，这是一段朗读。</textarea>
  <button id="voice-speak" type="button">朗读</button>
  <button id="voice-stream" type="button">分段朗读</button>
  <button id="voice-stop" type="button">停止朗读</button>
  <ol id="voice-events"></ol>
</section>`;

function script(testDriven) {
  return `
  (function () {
    var page = window.__tovarinPage;
    var sequence = 0;
    var dictation = null;
    function nextId(kind) { sequence += 1; return kind + '-' + sequence; }
    function post(body) {
      body.protocol = 1;
      var handler = window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.voice;
      if (handler) handler.postMessage(body);
    }
    function show(payload) {
      var list = document.getElementById('voice-events');
      if (list) {
        var item = document.createElement('li');
        item.textContent = JSON.stringify(payload);
        list.appendChild(item);
      }
      if (payload.type === 'listen.partial' || payload.type === 'listen.final') {
        var text = document.getElementById('voice-text');
        if (text) text.textContent = payload.text;
      }
    }
    window.__voice = {
      events: [],
      post: post,
      emit: function (payload) {
        if (!payload || typeof payload !== 'object') return false;
        window.__voice.events.push(payload);
        show(payload);
        ${testDriven ? "fetch('/__test/voice-page/event?page=' + page, { method: 'POST', body: JSON.stringify(payload) }).catch(function () {});" : ''}
        return true;
      },
    };
    function wire() {
      var hold = document.getElementById('voice-hold');
      hold.addEventListener('pointerdown', function () {
        dictation = nextId('listen');
        post({ type: 'listen.start', id: dictation, locale: 'zh-CN', hold: true });
      });
      var release = function () {
        if (!dictation) return;
        post({ type: 'listen.stop', id: nextId('stop'), target: dictation });
        dictation = null;
      };
      hold.addEventListener('pointerup', release);
      hold.addEventListener('pointerleave', release);
      document.getElementById('voice-speak').addEventListener('click', function () {
        post({ type: 'speak', id: nextId('speak'), text: document.getElementById('voice-read').value, locale: 'zh-CN' });
      });
      document.getElementById('voice-stream').addEventListener('click', function () {
        var target = nextId('stream');
        post({ type: 'speak.stream.start', id: target, target: target });
        document.getElementById('voice-read').value.split(/(?<=[。！？])/).forEach(function (piece) {
          post({ type: 'speak.stream.text', id: nextId('piece'), target: target, text: piece });
        });
        post({ type: 'speak.stream.end', id: nextId('end'), target: target });
      });
      document.getElementById('voice-stop').addEventListener('click', function () {
        post({ type: 'speak.stop', id: nextId('stop') });
      });
    }
    if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', wire); else wire();
    ${testDriven ? `
    function poll() {
      fetch('/__test/voice-page/requests?page=' + page, { method: 'POST' })
        .then(function (response) { return response.json(); })
        .then(function (bodies) { bodies.forEach(function (body) { post(body); }); })
        .catch(function () {})
        .then(function () { setTimeout(poll, 150); });
    }
    poll();` : ''}
  })();`;
}

export function register(context) {
  const testDriven = context.env.TOVARIN_TEST_VOICE_PAGE === '1';
  for (const name of PAGES) {
    context.pageParts[name].html.push(HTML);
    context.pageParts[name].script.push(script(testDriven));
  }
  if (!testDriven) return;
  const queued = { main: [], widget: [] };
  const events = { main: [], widget: [] };
  queueRequests(context, queued);
  handOutRequests(context, queued);
  keepEvents(context, events);
  context.routes['GET /__test/voice-page/events'] = (request, response) => context.sendJson(response, 200, events);
}

function pageOf(request) {
  const page = new URL(request.url, 'http://127.0.0.1').searchParams.get('page');
  return PAGES.includes(page) ? page : null;
}

function queueRequests({ routes, sendJson, readJsonObject }, queued) {
  routes['POST /__test/voice-page/request'] = async (request, response) => {
    const body = await readJsonObject(request, response);
    if (!body) return;
    if (!PAGES.includes(body.page) || !body.body || typeof body.body !== 'object') {
      return sendJson(response, 400, { error: 'needs page (main or widget) and body (an object)' });
    }
    if (queued[body.page].length >= MAX_QUEUED) return sendJson(response, 429, { error: 'too many queued' });
    queued[body.page].push(body.body);
    sendJson(response, 200, { queued: queued[body.page].length });
  };
}

function handOutRequests({ routes, sendJson }, queued) {
  routes['POST /__test/voice-page/requests'] = (request, response) => {
    const page = pageOf(request);
    if (!page) return sendJson(response, 400, { error: 'unknown page' });
    sendJson(response, 200, queued[page].splice(0));
  };
}

function keepEvents({ routes, sendJson, readBody }, events) {
  routes['POST /__test/voice-page/event'] = async (request, response) => {
    const page = pageOf(request);
    if (!page) return sendJson(response, 400, { error: 'unknown page' });
    let payload;
    try {
      payload = JSON.parse(await readBody(request));
    } catch {
      return sendJson(response, 400, { error: 'not JSON' });
    }
    if (events[page].length < MAX_EVENTS) events[page].push(payload);
    response.writeHead(204);
    response.end();
  };
}
