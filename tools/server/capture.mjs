// Page powers of the main window that act on this computer: text recognition
// ("ocr" -> __ocr), reminders ("notify" -> __notify) and dropped files (__dropText).
// The main page offers a button and a file picker for recognition, a form that
// schedules and cancels a reminder, and shows everything the program delivers.
//
// Environment read:
//   TOVARIN_CAPTURE_SAMPLE=<path>   the picture GET /capture/sample.png serves
//   TOVARIN_TEST_CAPTURE=1          the page runs the commands that tests queue with
//                                   POST /__test/capture/command, and every delivery is
//                                   kept for GET /__test/capture
import fs from 'node:fs';

const MAX_KEPT = 200;

export function register(context) {
  const testing = context.env.TOVARIN_TEST_CAPTURE === '1';
  const capture = { commands: [], deliveries: [] };
  serveSample(context);
  takeDeliveries(context, capture, testing);
  serveCommands(context, capture, testing);
  queueCommands(context, capture, testing);
  serveFrame(context, testing);
  serveDeliveries(context, capture, testing);
  context.pageParts.main.html.push(PAGE_HTML);
  context.pageParts.main.script.push(pageScript(testing));
}

function serveSample({ env, routes, sendJson }) {
  routes['GET /capture/sample.png'] = (request, response) => {
    const file = env.TOVARIN_CAPTURE_SAMPLE;
    if (!file) return sendJson(response, 404, { error: 'no sample picture' });
    fs.readFile(file, (error, bytes) => {
      if (error) return sendJson(response, 404, { error: 'no sample picture' });
      response.writeHead(200, { 'Content-Type': 'image/png', 'Content-Length': bytes.length, 'Cache-Control': 'no-store' });
      response.end(bytes);
    });
  };
}

// What the page received from the program: {"bridge", "payload"}.
function takeDeliveries({ routes, sendJson, readJsonObject }, capture, testing) {
  routes['POST /capture/delivered'] = async (request, response) => {
    const body = await readJsonObject(request, response);
    if (!body) return;
    if (typeof body.bridge !== 'string' || !body.payload || typeof body.payload !== 'object') {
      return sendJson(response, 400, { error: 'bridge and payload expected' });
    }
    if (testing) keepDelivery(capture, body);
    response.writeHead(204);
    response.end();
  };
}

function keepDelivery(capture, body) {
  capture.deliveries.push({ bridge: body.bridge, payload: body.payload, at: Date.now() });
  if (capture.deliveries.length > MAX_KEPT) capture.deliveries.shift();
}

function serveCommands({ routes, sendJson }, capture, testing) {
  routes['GET /capture/commands'] = (request, response) => {
    if (!testing) return sendJson(response, 404, { error: 'not found' });
    const after = Number(new URL(request.url, 'http://127.0.0.1').searchParams.get('after') ?? 0);
    sendJson(response, 200, { commands: capture.commands.filter((command) => command.seq > after) });
  };
}

// {"type": "ocr"} recognises the sample; {"type": "notify", "message": {...}} posts a
// "notify" message as it stands; {"type": "frame", "url": ...} embeds a frame.
function queueCommands({ routes, sendJson, readJsonObject }, capture, testing) {
  routes['POST /__test/capture/command'] = async (request, response) => {
    if (!testing) return sendJson(response, 404, { error: 'not found' });
    const body = await readJsonObject(request, response);
    if (!body) return;
    if (!['ocr', 'notify', 'frame'].includes(body.type)) return sendJson(response, 400, { error: 'unknown command' });
    const command = { ...body, seq: capture.commands.length + 1 };
    capture.commands.push(command);
    sendJson(response, 200, { seq: command.seq });
  };
}

// A page that asks for native powers from inside a frame, naming its host in the
// reminder's title; served to tests only. Embedded from another origin it must be
// refused.
function serveFrame({ routes, send, sendJson }, testing) {
  routes['GET /capture/frame.html'] = (request, response) => {
    if (!testing) return sendJson(response, 404, { error: 'not found' });
    send(response, 200, 'text/html; charset=utf-8', FRAME_HTML);
  };
}

function serveDeliveries({ routes, sendJson }, capture, testing) {
  routes['GET /__test/capture'] = (request, response) => {
    if (!testing) return sendJson(response, 404, { error: 'not found' });
    sendJson(response, 200, { deliveries: capture.deliveries });
  };
}

const FRAME_HTML = `<!doctype html><meta charset="utf-8"><p>frame</p><script>
  const handlers = (window.webkit && window.webkit.messageHandlers) || {};
  if (handlers.notify) handlers.notify.postMessage({ id: 'frame-' + location.hostname, title: location.hostname });
  if (handlers.ocr) handlers.ocr.postMessage({ requestId: 'frame-' + location.hostname, imageBase64: 'aGVsbG8=' });
</script>`;

const PAGE_HTML = `
<section id="capture">
  <h2>本机识别</h2>
  <button id="ocr-sample" type="button">识别示例图片</button>
  <input id="ocr-file" type="file" accept="image/png,image/jpeg,image/heic">
  <pre id="ocr-result"></pre>
  <h2>提醒</h2>
  <form id="notify-form">
    <input id="notify-id" value="reminder-1" size="12" aria-label="编号">
    <input id="notify-title" placeholder="标题" aria-label="标题">
    <input id="notify-body" placeholder="内容" aria-label="内容">
    <input id="notify-fire" type="datetime-local" aria-label="时间">
    <button id="notify-schedule" type="submit">安排提醒</button>
    <button id="notify-cancel" type="button">取消提醒</button>
  </form>
  <pre id="notify-result"></pre>
  <h2>拖入文件</h2>
  <p>把截图或文本文件拖到窗口里任何地方。</p>
  <pre id="drop-result"></pre>
</section>`;

function pageScript(testing) {
  return `
(() => {
  const testing = ${testing ? 'true' : 'false'};
  const handlers = (window.webkit && window.webkit.messageHandlers) || {};
  const post = (name, body) => {
    if (handlers[name]) handlers[name].postMessage(body);
    else show('notify-result', name + ': 这个窗口没有这个本机功能');
  };
  const show = (id, text) => {
    const out = document.getElementById(id);
    if (out) out.textContent = text + '\\n' + out.textContent;
  };
  const report = (bridge, payload) => {
    if (!testing) return;
    fetch('/capture/delivered', { method: 'POST', headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ bridge, payload }) }).catch(() => {});
  };
  // The program may send a payload more than once; each is handled once, by its id.
  const seen = new Set();
  const bridge = (name, output, key) => ({
    deliver(payload) {
      const id = name + ':' + payload[key] + ':' + (payload.opened ? 'opened' : payload.ok ? 'ok' : '');
      if (seen.has(id)) return true;
      seen.add(id);
      show(output, JSON.stringify(payload));
      report(name, payload);
      return true;
    },
  });
  window.__ocr = bridge('__ocr', 'ocr-result', 'requestId');
  window.__notify = bridge('__notify', 'notify-result', 'id');
  window.__dropText = bridge('__dropText', 'drop-result', 'requestId');

  let requests = 0;
  const recognise = (base64) => post('ocr', { requestId: 'page-' + (++requests), imageBase64: base64 });
  const asBase64 = (blob) => new Promise((resolve, reject) => {
    const reader = new FileReader();
    reader.onload = () => resolve(String(reader.result).replace(/^data:[^,]*,/, ''));
    reader.onerror = reject;
    reader.readAsDataURL(blob);
  });
  // The served sample when there is one, else a picture drawn here.
  const samplePicture = async () => {
    const answer = await fetch('/capture/sample.png', { cache: 'no-store' });
    if (answer.ok) return asBase64(await answer.blob());
    const canvas = document.createElement('canvas');
    canvas.width = 520; canvas.height = 90;
    const draw = canvas.getContext('2d');
    draw.fillStyle = '#fff'; draw.fillRect(0, 0, canvas.width, canvas.height);
    draw.fillStyle = '#000'; draw.font = '36px sans-serif';
    draw.fillText('Quarterly Meeting Notes', 20, 58);
    return canvas.toDataURL('image/png').replace(/^data:[^,]*,/, '');
  };
  const recogniseSample = async () => recognise(await samplePicture());

  document.getElementById('ocr-sample').addEventListener('click', () => recogniseSample().catch((e) => show('ocr-result', String(e))));
  document.getElementById('ocr-file').addEventListener('change', async (event) => {
    const file = event.target.files && event.target.files[0];
    if (file) recognise(await asBase64(file));
  });
  document.getElementById('notify-form').addEventListener('submit', (event) => {
    event.preventDefault();
    const value = (id) => document.getElementById(id).value;
    const message = { id: value('notify-id'), title: value('notify-title'), body: value('notify-body') };
    if (value('notify-fire')) message.fireAt = value('notify-fire');
    post('notify', message);
  });
  document.getElementById('notify-cancel').addEventListener('click', () => {
    post('notify', { cancel: [document.getElementById('notify-id').value] });
    show('notify-result', '已请求取消');
  });

  if (!testing) return;
  let after = 0;
  const poll = async () => {
    try {
      const answer = await fetch('/capture/commands?after=' + after, { cache: 'no-store' });
      const { commands } = await answer.json();
      for (const command of commands) {
        after = Math.max(after, command.seq);
        if (command.type === 'ocr') await recogniseSample();
        if (command.type === 'notify') post('notify', command.message);
        if (command.type === 'frame') {
          const frame = document.createElement('iframe');
          frame.src = String(command.url).replace('{port}', location.port);
          document.body.appendChild(frame);
        }
      }
    } catch (error) {}
    setTimeout(poll, 200);
  };
  poll();
})();`;
}
