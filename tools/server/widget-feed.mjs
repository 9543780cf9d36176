// The widget feed: GET /api/widget-feed?from=yyyy-MM-dd&to=yyyy-MM-dd answers the
// coming days' occurrences of a small calendar, its calendars and its tasks, in the
// account's zone (Asia/Shanghai). Times are made relative to the moment of the
// request, so the feed always has something still to come.
//
// Test modes, from TOVARIN_TEST_WIDGET_FEED at start or POST /__test/widget-feed?mode=…:
//   ok                  the feed (the default)
//   signed-out          401 with ACCOUNT_STORAGE_LOCKED
//   locked              401 without a marker
//   account-changed     409 without a marker
//   zone-not-projected  409 with WIDGET_ACCOUNT_ZONE_NOT_PROJECTED
//   zone-unverified     503 with WIDGET_ACCOUNT_ZONE_UNVERIFIED
//   unavailable         503 without a marker
//   no-content          204
//   no-body             the connection is dropped before any answer
//   empty-body          200 with an empty body
//   malformed           200 with a body that is not JSON
//   empty-epoch         the feed with an empty epoch
//   missing-zone        the feed with runtimeReady true and no zone
//   zone-not-ready      the feed with runtimeReady false
// GET /__test/widget-feed reports the mode, the number of feed requests and the last query.

const ACCOUNT_ZONE = 'Asia/Shanghai';
const DAY_KEY = /^\d{4}-\d{2}-\d{2}$/;
const MODES = new Set([
  'ok', 'signed-out', 'locked', 'account-changed', 'zone-not-projected', 'zone-unverified', 'unavailable',
  'no-content', 'no-body', 'empty-body', 'malformed', 'empty-epoch', 'missing-zone', 'zone-not-ready',
]);

// "yyyy-MM-ddTHH:mm" of a moment on the account's wall clock.
function wallClock(date) {
  const parts = Object.fromEntries(
    new Intl.DateTimeFormat('en-CA', {
      timeZone: ACCOUNT_ZONE, year: 'numeric', month: '2-digit', day: '2-digit',
      hour: '2-digit', minute: '2-digit', hourCycle: 'h23',
    }).formatToParts(date).map((part) => [part.type, part.value]),
  );
  return `${parts.year}-${parts.month}-${parts.day}T${parts.hour}:${parts.minute}`;
}

const HOUR = 3600 * 1000;
const DAY = 24 * HOUR;

function occurrences(now) {
  // The next whole hour, so that the first meetings are always still to come.
  const nextHour = new Date(Math.ceil(now / HOUR) * HOUR);
  const at = (offsetHours) => new Date(nextHour.getTime() + offsetHours * HOUR);
  const today = wallClock(now).slice(0, 10);
  const dayAfter = (days) => wallClock(new Date(now + days * DAY)).slice(0, 10);
  const timed = (key, title, startHours, endHours, calendarId) => ({
    key, title, allDay: false, startLocal: wallClock(at(startHours)), endLocal: wallClock(at(endHours)), calendarId,
  });
  return [
    { key: 'launch', title: '版本发布日', allDay: true, startLocal: `${today}T00:00`, endLocal: `${today}T23:59`, calendarId: 'work' },
    timed('okr', 'OKR 复盘', 1, 2, 'work'),
    timed('review', '需求评审', 3, 4.5, 'work'),
    timed('dinner', '和朋友吃饭', 26, 28, 'personal'),
    timed('dentist', '牙医复诊', 50, 51, 'health'),
    { key: 'trip', title: '杭州出差', allDay: true, startLocal: `${dayAfter(3)}T00:00`, endLocal: `${dayAfter(4)}T23:59`, calendarId: 'travel' },
  ];
}

function tasks(now) {
  const day = (offsetDays) => wallClock(new Date(now + offsetDays * DAY)).slice(0, 10);
  return [
    { id: 'call', title: '给房东回电话确认续租', status: 'done',
      followUp: { policy: 'after_complete', status: 'idle', nextAt: `${day(-1)}T09:00` } },
    { id: 'notes', title: '把周会纪要发给团队', status: 'open', due: `${day(0)}T18:00` },
    { id: 'report', title: '交季度报销单', status: 'open', due: day(-2) },
    { id: 'later', title: '续订域名', status: 'open', due: day(5) },
    { id: 'answered', title: '已回复的跟进', status: 'done',
      followUp: { policy: 'after_complete', status: 'answered', nextAt: `${day(0)}T09:00` } },
  ];
}

function feed(now, mode) {
  return {
    rev: 12,
    epoch: mode === 'empty-epoch' ? '' : 'epoch-1',
    occurrences: occurrences(now),
    calendarTimeZone:
      mode === 'missing-zone' ? { runtimeReady: true }
        : mode === 'zone-not-ready' ? { runtimeReady: false, zone: ACCOUNT_ZONE }
          : { runtimeReady: true, zone: ACCOUNT_ZONE },
    calendars: [
      { id: 'work', name: '工作', color: '#d1362f' },
      { id: 'personal', name: '个人', color: '#1e4fd8' },
      { id: 'health', name: '健康', color: '#2f7d4f' },
      // A calendar without a colour of its own: the widget uses its accent.
      { id: 'travel', name: '出行' },
    ],
    tasks: tasks(now),
  };
}

const FAILURES = {
  'signed-out': [401, { error: 'ACCOUNT_STORAGE_LOCKED' }],
  locked: [401, { error: 'token required' }],
  'account-changed': [409, { error: 'ACCOUNT_EPOCH_CHANGED' }],
  'zone-not-projected': [409, { error: 'WIDGET_ACCOUNT_ZONE_NOT_PROJECTED' }],
  'zone-unverified': [503, { error: 'WIDGET_ACCOUNT_ZONE_UNVERIFIED' }],
  unavailable: [503, { error: 'starting' }],
};

// Answers as a failing mode dictates; false when the mode serves the feed.
function answerAsTheModeFails(mode, request, response, send, sendJson) {
  if (FAILURES[mode]) {
    sendJson(response, ...FAILURES[mode]);
  } else if (mode === 'no-body') {
    request.socket.destroy();
  } else if (mode === 'no-content') {
    response.writeHead(204);
    response.end();
  } else if (mode === 'empty-body') {
    send(response, 200, 'application/json', '');
  } else if (mode === 'malformed') {
    send(response, 200, 'application/json', '{"rev": 12, "epoch"');
  } else {
    return false;
  }
  return true;
}

export function register({ env, routes, send, sendJson }) {
  const widgetFeed = {
    mode: MODES.has(env.TOVARIN_TEST_WIDGET_FEED) ? env.TOVARIN_TEST_WIDGET_FEED : 'ok',
    requests: 0,
    lastQuery: null,
  };

  routes['GET /api/widget-feed'] = (request, response) => {
    widgetFeed.requests += 1;
    const query = new URL(request.url, 'http://127.0.0.1').searchParams;
    const from = query.get('from');
    const to = query.get('to');
    widgetFeed.lastQuery = { from, to };
    const mode = widgetFeed.mode;
    if (answerAsTheModeFails(mode, request, response, send, sendJson)) return;
    if (!DAY_KEY.test(from ?? '') || !DAY_KEY.test(to ?? '') || from > to) {
      return sendJson(response, 400, { error: 'from and to must be days, from not after to' });
    }
    sendJson(response, 200, feed(Date.now(), mode));
  };

  routes['GET /__test/widget-feed'] = (request, response) => sendJson(response, 200, widgetFeed);
  routes['POST /__test/widget-feed'] = (request, response) => {
    const mode = new URL(request.url, 'http://127.0.0.1').searchParams.get('mode');
    if (!MODES.has(mode)) return sendJson(response, 400, { error: 'unknown mode' });
    widgetFeed.mode = mode;
    sendJson(response, 200, widgetFeed);
  };
}
