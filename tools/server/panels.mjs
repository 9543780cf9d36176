// Panels and downloads: buttons on both pages that exercise the native dialogs, the file
// input, the folder choice and announced, verified downloads, and show the receipts the
// app settles. Receipts and dialog answers are also kept here, so tests can read them
// (GET /__test/panels/records).
//
// Test mode, switched by the environment:
//   TOVARIN_TEST_PANELS=1   the pages run the commands that tests queue with
//                           POST /__test/panels/command: {"page": "main"|"widget",
//                           "type": "download", "name", "text", "announced"} or
//                           {"page", "type": "confirm"|"alert"|"prompt", "message"}.

const MAX_RECORDS = 200;

const html = `
<section id="panels">
  <button id="panel-download" type="button">下载（已声明）</button>
  <button id="panel-download-plain" type="button">下载（未声明）</button>
  <button id="panel-alert" type="button">提示</button>
  <button id="panel-confirm" type="button">确认</button>
  <button id="panel-prompt" type="button">输入</button>
  <button id="panel-secret" type="button">输入密码</button>
  <button id="panel-directory" type="button">选择文件夹</button>
  <input id="panel-file" type="file" multiple accept=".txt,.md">
  <pre id="panel-log"></pre>
</section>`;

const script = `
(() => {
  const log = (entry) => {
    const line = JSON.stringify(entry);
    const view = document.getElementById('panel-log');
    if (view) view.textContent = (line + '\\n' + view.textContent).slice(0, 4000);
    fetch('/__test/panels/record', { method: 'POST', body: line }).catch(() => {});
  };
  const post = (body) => {
    const handler = window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.download;
    if (handler) handler.postMessage(body);
  };
  const hex = (buffer) => Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
  const claimed = new Set();
  let serial = 0;
  window.__tovarinDownload = {
    settle(payload) {
      log({ kind: 'receipt', payload });
      if (!payload || !claimed.has(payload.requestId)) return false;
      claimed.delete(payload.requestId);
      return true;
    },
  };
  window.__tovarinDirectory = {
    settle(payload) {
      log({ kind: 'directory', payload });
      return true;
    },
  };
  const click = (url, name) => {
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
  };
  // Downloads text as a file: announced (with its digest, into Downloads) or not.
  window.__panels = {
    async download(name, text, announced) {
      const bytes = new TextEncoder().encode(text);
      const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
      if (announced) {
        const requestId = 'panel-' + Date.now() + '-' + (++serial);
        claimed.add(requestId);
        const sha256 = hex(await crypto.subtle.digest('SHA-256', bytes));
        post({ type: 'expect', requestId, blobURL: url, filename: name, destination: 'downloads', sha256,
               bytes: bytes.length });
      }
      click(url, name);
      return url;
    },
    chooseDirectory() {
      const requestId = 'dir-' + Date.now() + '-' + (++serial);
      post({ type: 'choose-directory', requestId, operationId: 'op-' + serial });
      return requestId;
    },
    alert(message) { alert(message); log({ kind: 'alert' }); },
    confirm(message) { const value = confirm(message); log({ kind: 'confirm', value }); return value; },
    prompt(message, text) { const value = prompt(message, text); log({ kind: 'prompt', value }); return value; },
  };
  const on = (id, action) => {
    const element = document.getElementById(id);
    if (element) element.addEventListener('click', action);
  };
  on('panel-download', () => window.__panels.download('岚笺-面板.txt', '面板下载\\n', true));
  on('panel-download-plain', () => window.__panels.download('plain.txt', 'plain\\n', false));
  on('panel-alert', () => window.__panels.alert('已经保存。'));
  on('panel-confirm', () => window.__panels.confirm('要删除这条记录吗？ 删除后不能恢复。'));
  on('panel-prompt', () => window.__panels.prompt('给这条记录起个名字', '新记录'));
  on('panel-secret', () => window.__panels.prompt('请输入密码', 'not shown'));
  on('panel-directory', () => window.__panels.chooseDirectory());
  if (window.__panelsTestMode) {
    let after = 0;
    const poll = async () => {
      try {
        const answer = await fetch('/panels/commands?after=' + after + '&page=' + window.__tovarinPage,
                                   { cache: 'no-store' });
        const { commands } = await answer.json();
        for (const command of commands) {
          after = Math.max(after, command.seq);
          if (command.type === 'download') window.__panels.download(command.name, command.text, command.announced);
          if (command.type === 'confirm') setTimeout(() => window.__panels.confirm(command.message), 0);
          if (command.type === 'alert') setTimeout(() => window.__panels.alert(command.message), 0);
          if (command.type === 'prompt') setTimeout(() => window.__panels.prompt(command.message, ''), 0);
        }
      } catch (e) {}
      setTimeout(poll, 250);
    };
    poll();
  }
  const file = document.getElementById('panel-file');
  if (file) file.addEventListener('change', () => log({ kind: 'files', names: Array.from(file.files, (f) => f.name) }));
})();`;

export function register(context) {
  const records = [];
  const commands = [];
  const testMode = context.env.TOVARIN_TEST_PANELS === '1';
  for (const name of ['main', 'widget']) {
    context.pageParts[name].html.push(html);
    context.pageParts[name].script.push(`window.__panelsTestMode = ${testMode};`, script);
  }
  serveCommands(context, commands);
  queueCommands(context, commands, testMode);
  keepRecords(context, records);
  context.routes['GET /__test/panels/records'] = (request, response) => context.sendJson(response, 200, records);
}

function serveCommands({ routes, sendJson }, commands) {
  routes['GET /panels/commands'] = (request, response) => {
    const query = new URL(request.url, 'http://127.0.0.1').searchParams;
    const after = Number(query.get('after') ?? 0);
    const page = query.get('page');
    sendJson(response, 200, { commands: commands.filter((c) => c.seq > after && c.page === page) });
  };
}

function queueCommands({ routes, sendJson, readJsonObject }, commands, testMode) {
  routes['POST /__test/panels/command'] = async (request, response) => {
    if (!testMode) return sendJson(response, 404, { error: 'not found' });
    const body = await readJsonObject(request, response);
    if (!body) return;
    if (!['download', 'confirm', 'alert', 'prompt'].includes(body.type)) {
      return sendJson(response, 400, { error: 'unknown command' });
    }
    if (!['main', 'widget'].includes(body.page)) return sendJson(response, 400, { error: 'unknown page' });
    const command = { ...body, seq: commands.length + 1 };
    commands.push(command);
    sendJson(response, 200, { seq: command.seq });
  };
}

function keepRecords({ routes, sendJson, readBody }, records) {
  routes['POST /__test/panels/record'] = async (request, response) => {
    let entry;
    try {
      entry = JSON.parse(await readBody(request));
    } catch {
      return sendJson(response, 400, { error: 'body is not JSON' });
    }
    records.push(entry);
    if (records.length > MAX_RECORDS) records.shift();
    response.writeHead(204);
    response.end();
  };
}
