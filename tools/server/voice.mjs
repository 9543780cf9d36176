// The voice relay of the stand-in server: the cloud status, one-shot synthesis, the
// dictation socket and the streamed-speech socket. It speaks the relay's protocol with
// audio it makes itself (espeak-ng when installed, else a tone), and answers dictation
// with text derived from the audio it received. Test modes come from
// TOVARIN_TEST_VOICE ("ok", "unconfigured", "signed-out", "daily-limit") and from
// POST /__test/voice {mode, asrError, asrRefuse, speakError}.

import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);

// Debian installs ws outside Node's default search path.
function loadWebSocketServer() {
  for (const name of ['ws', '/usr/share/nodejs/ws', '/usr/lib/nodejs/ws']) {
    try {
      const ws = require(name);
      return ws.WebSocketServer ?? ws.Server;
    } catch {
      // try the next place
    }
  }
  return null;
}

const SAMPLE_RATE = 16000;
const BYTES_PER_SECOND = SAMPLE_RATE * 2;
const MAX_TEXT = 2000;
const VOICES = [
  { id: 601000, label: '知性女声' },
  { id: 601001, label: '沉稳男声' },
];

const RELAY_ERRORS = {
  'cloud-unconfigured': '云端语音没有配置。',
  'notice-required': '请先阅读并同意云端语音说明。',
  busy: '语音服务正忙，请稍后再试。',
  'daily-limit': '今天的云端语音额度已经用完，明天再试。',
  'platform-limit': '云端语音今天暂停服务，明天再试。',
  'cloud-unavailable': '暂时连不上云端语音，请稍后再试。',
  'cloud-busy': '云端语音正忙，请稍后再试。',
  'cloud-failed': '云端语音出错了，请再试一次。',
  timeout: '云端语音超时了，请再试一次。',
  'bad-audio': '声音无法识别，请再说一次。',
  'bad-request': '请求无效。',
};

export function register(context) {
  const voice = {
    mode: context.env.TOVARIN_TEST_VOICE || 'ok',
    asrError: null, // a relay error code sent after the first audio
    asrRefuse: 0, // an HTTP status that refuses the dictation handshake
    speakError: null,
    asrSessions: [],
    speakSessions: [],
    ttsRequests: [],
  };
  context.state.voice = voice;
  serveStatus(context, voice);
  serveSynthesis(context, voice);
  serveTestControls(context, voice);
  acceptSockets(context.server, voice);
}

function serveStatus({ routes, sendJson }, voice) {
  routes['GET /api/voice/status'] = (request, response) => {
    if (voice.mode === 'unconfigured') return sendJson(response, 404, { error: 'voice relay not configured' });
    if (voice.mode === 'signed-out') return sendJson(response, 401, { error: 'signed out' });
    sendJson(response, 200, statusAnswer(voice.mode === 'daily-limit'));
  };
}

function statusAnswer(limited) {
  return {
    asr: { available: !limited, remainingSeconds: limited ? 0 : 1800, ...(limited ? { reason: 'daily-limit' } : {}) },
    tts: { available: !limited, ...(limited ? { reason: 'daily-limit' } : {}) },
    notice: { accepted: true },
    speak: { available: !limited, voices: VOICES, defaultVoice: VOICES[0].id },
  };
}

// The status and code that turn a synthesis down in the current mode, if any.
function synthesisRefusal(mode) {
  if (mode === 'unconfigured') return [404, { code: 'cloud-unconfigured' }];
  if (mode === 'signed-out') return [401, { code: 'signed-out' }];
  if (mode === 'daily-limit') return [429, { code: 'daily-limit' }];
  return null;
}

function serveSynthesis({ routes, sendJson, readJsonObject }, voice) {
  routes['POST /api/voice/tts'] = async (request, response) => {
    const body = await readJsonObject(request, response);
    if (!body) return;
    const refusal = synthesisRefusal(voice.mode);
    if (refusal) return sendJson(response, ...refusal);
    const { text, rate, locale } = body;
    if (typeof text !== 'string' || !text.trim() || [...text].length > MAX_TEXT) {
      return sendJson(response, 400, { code: 'bad-request' });
    }
    const speed = typeof rate === 'number' && Number.isFinite(rate) ? rate : 1;
    voice.ttsRequests.push({ text, rate: speed, locale: typeof locale === 'string' ? locale : '' });
    const wav = await speakToWav(text, speed, typeof locale === 'string' ? locale : 'zh-CN');
    sendJson(response, 200, { audio: wav.toString('base64'), format: 'wav' });
  };
}

function serveTestControls({ routes, sendJson, readJsonObject }, voice) {
  routes['POST /__test/voice'] = async (request, response) => {
    const body = await readJsonObject(request, response);
    if (!body) return;
    for (const key of ['mode', 'asrError', 'asrRefuse', 'speakError']) {
      if (Object.hasOwn(body, key)) voice[key] = body[key];
    }
    sendJson(response, 200, publicState(voice));
  };
  routes['GET /__test/voice'] = (request, response) => sendJson(response, 200, publicState(voice));
}

function acceptSockets(server, voice) {
  const WebSocketServer = loadWebSocketServer();
  if (!WebSocketServer || !server) {
    process.stderr.write('server.mjs: no WebSocket package; the voice sockets are off\n');
    return;
  }
  const asr = new WebSocketServer({ noServer: true, maxPayload: 1 << 20 });
  const speak = new WebSocketServer({ noServer: true, maxPayload: 1 << 16 });
  server.on('upgrade', (request, socket, head) => {
    let url;
    try {
      url = new URL(request.url, 'http://127.0.0.1');
    } catch {
      return refuse(socket, 400);
    }
    const refusal = refusalFor(voice, url.pathname);
    if (refusal) return refuse(socket, refusal);
    if (url.pathname === '/api/voice/asr') {
      asr.handleUpgrade(request, socket, head, (ws) => dictate(ws, url.searchParams.get('lang'), voice));
    } else if (url.pathname === '/api/voice/speak') {
      speak.handleUpgrade(request, socket, head, (ws) => streamSpeech(ws, voice));
    } else {
      refuse(socket, 404);
    }
  });
}

function publicState(voice) {
  const { mode, asrError, asrRefuse, speakError, asrSessions, speakSessions, ttsRequests } = voice;
  return { mode, asrError, asrRefuse, speakError, asrSessions, speakSessions, ttsRequests };
}

function refusalFor(voice, pathname) {
  if (pathname !== '/api/voice/asr' && pathname !== '/api/voice/speak') return 0;
  if (voice.mode === 'unconfigured') return 404;
  if (voice.mode === 'signed-out') return 401;
  if (pathname === '/api/voice/asr' && Number.isInteger(voice.asrRefuse) && voice.asrRefuse >= 400) {
    return voice.asrRefuse;
  }
  return 0;
}

function refuse(socket, status) {
  const body = JSON.stringify({ error: 'refused' });
  socket.end(
    `HTTP/1.1 ${status} Refused\r\nContent-Type: application/json\r\nContent-Length: ${Buffer.byteLength(body)}\r\n` +
      `Connection: close\r\n\r\n${body}`,
  );
}

function sendType(ws, type, fields = {}) {
  if (ws.readyState === ws.OPEN) ws.send(JSON.stringify({ type, ...fields }));
}

function parseControl(data, isBinary) {
  if (isBinary) return null;
  try {
    const message = JSON.parse(data.toString('utf8'));
    return message && typeof message === 'object' && typeof message.type === 'string' ? message : null;
  } catch {
    return null;
  }
}

function sendRelayError(ws, code) {
  sendType(ws, 'error', { code, message: RELAY_ERRORS[code] ?? '出错了。' });
  ws.close(1000);
}

// One dictation: "ready" at once, a partial for each second of audio, the final text on
// "end". The text tells how much sound arrived, so a test can check what got through.
function dictate(ws, lang, voice) {
  const session = { lang: lang ?? '', audioBytes: 0, chunks: [], messages: [], ended: false, cancelled: false };
  voice.asrSessions.push(session);
  const heard = { english: lang === 'en', loud: 0, nextPartial: BYTES_PER_SECOND };
  sendType(ws, 'ready');
  ws.on('message', (data, isBinary) => {
    if (isBinary) dictationAudio(ws, voice, session, heard, data);
    else dictationControl(ws, session, heard, data);
  });
}

function dictationAudio(ws, voice, session, heard, data) {
  session.audioBytes += data.length;
  session.chunks.push(data.length);
  heard.loud += loudSamples(data);
  if (voice.asrError) return sendRelayError(ws, voice.asrError);
  if (session.audioBytes >= heard.nextPartial) {
    heard.nextPartial += BYTES_PER_SECOND;
    sendType(ws, 'partial', { text: describeHeard(session, heard) });
  }
}

function dictationControl(ws, session, heard, data) {
  const message = parseControl(data, false);
  session.messages.push(data.toString('utf8'));
  if (!message) return;
  if (message.type === 'end') {
    session.ended = true;
    sendType(ws, 'final', { text: describeHeard(session, heard), reason: heard.loud === 0 ? 'silence' : 'end' });
    ws.close(1000);
  } else if (message.type === 'cancel') {
    session.cancelled = true;
    ws.close(1000);
  }
}

function describeHeard(session, heard) {
  const seconds = (session.audioBytes / BYTES_PER_SECOND).toFixed(1);
  if (heard.loud === 0) return '';
  return heard.english ? `heard ${seconds} seconds of sound` : `听到了${seconds}秒的声音`;
}

function loudSamples(data) {
  let count = 0;
  for (let i = 0; i + 1 < data.length; i += 2) {
    if (Math.abs(data.readInt16LE(i)) > 1000) count += 1;
  }
  return count;
}

// One speech stream: "start", then text pieces spoken as 16 kHz PCM in the order they
// came, "done" after "end" once everything was sent; "stop" ends it at once.
function streamSpeech(ws, voice) {
  const session = { start: null, texts: [], chars: 0, stopped: false };
  voice.speakSessions.push(session);
  const stream = { ws, voice, session, queue: Promise.resolve(), stopped: false };
  ws.on('message', (data, isBinary) => {
    const message = parseControl(data, isBinary);
    if (!message) return;
    if (message.type === 'start') startSpeech(stream, message);
    else if (message.type === 'text' && typeof message.text === 'string') queueSpeech(stream, message.text);
    else if (message.type === 'end') queueSpeechEnd(stream);
    else if (message.type === 'stop') stopSpeech(stream);
  });
  ws.on('close', () => {
    stream.stopped = true;
  });
}

function startSpeech({ ws, voice, session }, message) {
  session.start = { voice: message.voice, rate: message.rate };
  if (voice.speakError) return sendRelayError(ws, voice.speakError);
  sendType(ws, 'ready');
}

function queueSpeech(stream, text) {
  const { ws, session } = stream;
  session.texts.push(text);
  const rate = typeof session.start?.rate === 'number' ? session.start.rate : 1;
  stream.queue = stream.queue.then(async () => {
    if (stream.stopped) return;
    const pcm = wavToPcm16k(await speakToWav(text, rate, 'zh-CN'));
    for (let offset = 0; offset < pcm.length && !stream.stopped; offset += 3200) {
      if (ws.readyState === ws.OPEN) ws.send(pcm.subarray(offset, offset + 3200));
    }
    session.chars += [...text].length;
  });
}

function queueSpeechEnd(stream) {
  stream.queue = stream.queue.then(() => {
    if (stream.stopped) return;
    sendType(stream.ws, 'done', { chars: stream.session.chars, reason: 'end' });
    stream.ws.close(1000);
  });
}

function stopSpeech(stream) {
  stream.stopped = true;
  stream.session.stopped = true;
  stream.ws.close(1000);
}

// A WAV file of the text read aloud: espeak-ng when it is there, else one tone per
// character, so the answer is always real audio.
function speakToWav(text, rate, locale) {
  const wordsPerMinute = Math.round(Math.min(450, Math.max(80, 175 * rate)));
  const language = /^en/i.test(locale) ? 'en-us' : 'cmn';
  return new Promise((resolve) => {
    let child;
    try {
      child = spawn('espeak-ng', ['--stdout', '-v', language, '-s', String(wordsPerMinute)], {
        stdio: ['pipe', 'pipe', 'ignore'],
      });
    } catch {
      return resolve(toneWav([...text].length));
    }
    // The text goes in on standard input, so no text can pass for an option.
    child.stdin.on('error', () => {});
    child.stdin.end(text);
    const parts = [];
    child.stdout.on('data', (part) => parts.push(part));
    child.on('error', () => resolve(toneWav([...text].length)));
    child.on('close', (code) => {
      const wav = Buffer.concat(parts);
      resolve(code === 0 && wav.length > 44 ? wav : toneWav([...text].length));
    });
  });
}

function toneWav(characters) {
  const samples = Math.max(1, characters) * (SAMPLE_RATE / 5);
  const pcm = Buffer.alloc(samples * 2);
  for (let i = 0; i < samples; i += 1) {
    pcm.writeInt16LE(Math.round(8000 * Math.sin((2 * Math.PI * 440 * i) / SAMPLE_RATE)), i * 2);
  }
  return wavOf(pcm, SAMPLE_RATE);
}

function wavOf(pcm, rate) {
  const header = Buffer.alloc(44);
  header.write('RIFF', 0);
  header.writeUInt32LE(36 + pcm.length, 4);
  header.write('WAVE', 8);
  header.write('fmt ', 12);
  header.writeUInt32LE(16, 16);
  header.writeUInt16LE(1, 20);
  header.writeUInt16LE(1, 22);
  header.writeUInt32LE(rate, 24);
  header.writeUInt32LE(rate * 2, 28);
  header.writeUInt16LE(2, 32);
  header.writeUInt16LE(16, 34);
  header.write('data', 36);
  header.writeUInt32LE(pcm.length, 40);
  return Buffer.concat([header, pcm]);
}

// 16-bit mono PCM at 16 kHz from a 16-bit WAV, resampled linearly. espeak-ng writes its
// stream length as unknown, so the data runs to the end of the file.
function wavToPcm16k(wav) {
  let rate = SAMPLE_RATE;
  let channels = 1;
  let offset = 12;
  let data = Buffer.alloc(0);
  while (offset + 8 <= wav.length) {
    const id = wav.toString('ascii', offset, offset + 4);
    const size = wav.readUInt32LE(offset + 4);
    if (id === 'fmt ') {
      channels = wav.readUInt16LE(offset + 10);
      rate = wav.readUInt32LE(offset + 12);
    } else if (id === 'data') {
      const end = size === 0 || size > wav.length - offset - 8 ? wav.length : offset + 8 + size;
      data = wav.subarray(offset + 8, end);
      break;
    }
    offset += 8 + size + (size % 2);
  }
  const frames = Math.floor(data.length / (2 * channels));
  const outFrames = Math.floor((frames * SAMPLE_RATE) / rate);
  const out = Buffer.alloc(outFrames * 2);
  for (let i = 0; i < outFrames; i += 1) {
    const position = (i * rate) / SAMPLE_RATE;
    const left = Math.min(frames - 1, Math.floor(position));
    const right = Math.min(frames - 1, left + 1);
    const fraction = position - left;
    const a = data.readInt16LE(left * 2 * channels);
    const b = data.readInt16LE(right * 2 * channels);
    out.writeInt16LE(Math.round(a + (b - a) * fraction), i * 2);
  }
  return out;
}
