// The widget page's settings store and the test modes of the sticky window's settings
// exchange.
//
// The page exposes window.__widget.ctx, a small store with dispatch(action) and
// actions.patchSettings(patch); dispatching a patch writes it to /api/data, which saves
// it and announces the change on the stream.
//
// Test modes, from the environment at start or POST /__test/sticky-settings at any time
// (a JSON object with any of the keys below; the page hears of a change on the stream):
//   TOVARIN_TEST_WIDGET_STORE=ready|refuse|ignore   "store": refuse hides the store, so the
//                                                   page turns every change down; ignore
//                                                   takes changes and never writes them
//   TOVARIN_TEST_SETTINGS_READ=fresh|stale          "read": stale answers GET /api/data with
//                                                   the settings as they were before the
//                                                   last write
//   TOVARIN_TEST_SETTINGS_DELAY=<ms>                "delayMs": GET /api/data answers late

const STORE_MODES = ['ready', 'refuse', 'ignore'];
const READ_MODES = ['fresh', 'stale'];
const MAX_DELAY_MS = 60000;

function validDelay(value) {
  return Number.isInteger(value) && value >= 0 && value <= MAX_DELAY_MS;
}

function initialModes(env) {
  const delay = Number(env.TOVARIN_TEST_SETTINGS_DELAY ?? 0);
  return {
    store: STORE_MODES.includes(env.TOVARIN_TEST_WIDGET_STORE) ? env.TOVARIN_TEST_WIDGET_STORE : 'ready',
    read: READ_MODES.includes(env.TOVARIN_TEST_SETTINGS_READ) ? env.TOVARIN_TEST_SETTINGS_READ : 'fresh',
    delayMs: validDelay(delay) ? delay : 0,
  };
}

// Runs in the widget page. `modes` is filled in when the page is built.
const PAGE_SCRIPT = `
  (() => {
    let mode = __STORE_MODE__;
    const view = document.getElementById('sticky-settings');
    const state = { settings: {}, writes: 0 };
    const show = () => {
      if (view) view.textContent = JSON.stringify(state.settings);
    };
    const refresh = () =>
      fetch('/api/data', { cache: 'no-store' })
        .then((response) => response.json())
        .then((answer) => {
          if (answer && answer.data && answer.data.settings) state.settings = answer.data.settings;
          show();
        })
        .catch(() => {});
    const ctx = {
      state,
      actions: {
        patchSettings: (patch) => ({ type: 'settings/patch', patch }),
      },
      dispatch(action) {
        if (!action || action.type !== 'settings/patch' || !action.patch || typeof action.patch !== 'object') return;
        Object.assign(state.settings, action.patch);
        show();
        if (mode === 'ignore') return;
        state.writes += 1;
        fetch('/api/data', {
          method: 'POST',
          headers: { 'Content-Type': 'application/json' },
          body: JSON.stringify({ settings: action.patch }),
        }).catch(() => {});
      },
    };
    const widget = window.__widget || (window.__widget = {});
    Object.defineProperty(widget, 'ctx', { get: () => (mode === 'refuse' ? undefined : ctx), configurable: true });
    const followModes = () =>
      fetch('/__test/sticky-settings', { cache: 'no-store' })
        .then((response) => response.json())
        .then((modes) => {
          if (modes && typeof modes.store === 'string') mode = modes.store;
        })
        .catch(() => {});
    if (typeof EventSource === 'function') {
      const stream = new EventSource('/api/stream');
      stream.addEventListener('change', (event) => {
        let what = '';
        try {
          what = JSON.parse(event.data).what;
        } catch {
          return;
        }
        if (what === 'sticky-test-modes') followModes();
        else refresh();
      });
    }
    refresh();
  })();
`;

export function register(context) {
  const modes = initialModes(context.env);
  // The settings before the latest write, for the stale read mode; none before the first.
  const history = { before: null };

  context.pageParts.widget.html.push('<section><p>浮窗设置：<code id="sticky-settings">…</code></p></section>');
  // The mode is one of our own words, checked above, so it can stand in the script.
  context.pageParts.widget.script.push(PAGE_SCRIPT.replace('__STORE_MODE__', JSON.stringify(modes.store)));

  serveSettings(context, modes, history);
  rememberBeforeWrite(context, history);
  context.routes['GET /__test/sticky-settings'] = (request, response) => context.sendJson(response, 200, modes);
  changeModes(context, modes);
}

function serveSettings({ state, routes, sendJson }, modes, history) {
  routes['GET /api/data'] = (request, response) => {
    const settings = modes.read === 'stale' && history.before ? history.before : state.settings;
    const answer = { data: { settings: { ...settings } } };
    setTimeout(() => sendJson(response, 200, answer), modes.delayMs);
  };
}

function rememberBeforeWrite({ state, routes }, history) {
  const write = routes['POST /api/data'];
  routes['POST /api/data'] = (request, response) => {
    history.before = { ...state.settings };
    return write(request, response);
  };
}

function changeModes({ routes, sendJson, readJsonObject, broadcastChange }, modes) {
  routes['POST /__test/sticky-settings'] = async (request, response) => {
    const body = await readJsonObject(request, response);
    if (!body) return;
    const next = { ...modes };
    if ('store' in body) next.store = body.store;
    if ('read' in body) next.read = body.read;
    if ('delayMs' in body) next.delayMs = body.delayMs;
    if (!STORE_MODES.includes(next.store) || !READ_MODES.includes(next.read) || !validDelay(next.delayMs)) {
      return sendJson(response, 400, { error: 'store, read or delayMs out of range' });
    }
    Object.assign(modes, next);
    broadcastChange('sticky-test-modes');
    sendJson(response, 200, modes);
  };
}
