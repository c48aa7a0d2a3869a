// A stand-in for the lanfinder program, for browser tests without UDP: it
// serves the web folder over HTTP and speaks the program's WebSocket
// protocol on "/ws" (full state on connect, diffs, request answers,
// "SessionClosing"). Requests are checked the way the program checks them;
// a request the program would reject gets no answer and is recorded.

import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { WebSocketServer } from 'ws';

const here = path.dirname(fileURLToPath(import.meta.url));
export const WEB_ROOT = path.resolve(here, '../../../www/lnf');

const MIME = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.json': 'application/json; charset=utf-8',
  '.svg': 'image/svg+xml',
  '.png': 'image/png',
  '.ico': 'image/x-icon',
};

const REQUEST_KEYS = {
  ChangeDevice: ['deviceId', 'reqId', 'reqType', 'name', 'ip', 'subnetMask', 'networkMethod', 'defaultGateway', 'username', 'password'],
  SetFavorite: ['deviceId', 'reqId', 'reqType', 'isFavorite'],
  SetLanguage: ['reqId', 'reqType', 'language'],
  SetTheme: ['reqId', 'reqType', 'theme'],
  Localize: ['deviceId', 'reqId', 'reqType', 'username', 'password'],
  ChangeDevices: ['reqId', 'reqType', 'username', 'password', 'devices'],
  CancelBatch: ['reqId', 'reqType'],
};
// Each device of a job carries exactly these keys of one ChangeDevice request.
const JOB_ITEM_KEYS = ['deviceId', 'name', 'ip', 'subnetMask', 'networkMethod', 'defaultGateway'];

function validateJobItems(list) {
  if (!Array.isArray(list)) return 'devices value type mismatch. Expected array';
  for (const item of list) {
    if (item === null || typeof item !== 'object' || Array.isArray(item)) return 'devices item type mismatch. Expected object';
    for (const key of JOB_ITEM_KEYS) {
      if (!(key in item)) return `${key} not found`;
      if (typeof item[key] !== 'string') return `${key} value type mismatch. Expected string`;
    }
    const extra = Object.keys(item).filter((k) => !JOB_ITEM_KEYS.includes(k));
    if (extra.length) return `unexpected keys ${extra.join(', ')}`;
  }
  return null;
}

/** The program's validation of one request text: null when accepted, else the error text. */
export function validateRequest(text) {
  let doc;
  try {
    doc = JSON.parse(text);
  } catch {
    return `Invalid Json doc: ${text}`;
  }
  if (doc === null || typeof doc !== 'object' || Array.isArray(doc)) doc = {};
  for (const key of ['reqId', 'reqType']) {
    if (!(key in doc)) return `${key} not found`;
    if (doc[key] !== null && typeof doc[key] !== 'string') return `${key} value type mismatch. Expected string`;
  }
  const keys = REQUEST_KEYS[doc.reqType];
  if (!keys) return `Unknown request type ${doc.reqType}`;
  for (const key of keys) {
    if (!(key in doc)) return `${key} not found`;
    if (key === 'isFavorite') {
      if (typeof doc[key] !== 'boolean') return 'isFavorite value type mismatch. Expected bool';
    } else if (key === 'devices') {
      const error = validateJobItems(doc.devices);
      if (error) return error;
    } else if (doc[key] !== null && typeof doc[key] !== 'string') return `${key} value type mismatch. Expected string`;
  }
  return null;
}

let serial = 1000;

/** A device object with the program's 28 keys. */
export function makeDevice(overrides = {}) {
  serial += 1;
  const articleNumber = overrides.articleNumber ?? 'V2D654';
  const serialNumber = overrides.serialNumber ?? `S${serial}`;
  return {
    id: `${articleNumber}_${serialNumber}`.toLowerCase(),
    name: `Camera ${serial}`,
    hwVersion: '1.0',
    fwVersion: '2.4.1',
    articleNumber,
    serialNumber,
    manufactureDate: '2024-03-01',
    manufacturer: 'Vostrel',
    type: 'VisionSensor',
    url: `http://10.0.0.${(serial % 250) + 2}/`,
    networkMethod: 'PersistentIP',
    deviceState: 'ACTIVE',
    statusStringDetails: [],
    supportsDHCP: true,
    supportsPersistentIP: true,
    supportsLocalize: true,
    mac: `00:1A:2B:${((serial >> 16) & 255).toString(16).padStart(2, '0')}:${((serial >> 8) & 255).toString(16).padStart(2, '0')}:${(serial & 255).toString(16).padStart(2, '0')}`.toUpperCase(),
    ip: `10.0.${(serial >> 8) & 255}.${serial & 255}`, // unique while serial < 65536
    subnetMask: '255.255.0.0',
    defaultGateway: '0.0.0.0',
    isProcessing: false,
    isRebooting: false,
    isMissing: false,
    isFavorite: false,
    isAccessible: true,
    isAuthentication: false,
    ipOfAssociatedNic: '10.0.0.1',
    lastSeen: new Date().toISOString().slice(0, 19),
    ...overrides,
  };
}

export function defaultNics() {
  return [{ mac: '02:00:00:00:00:01', name: 'eth0', addresses: [{ ip: '10.0.0.1', subnetMask: '255.255.0.0' }], gateways: ['0.0.0.0'] }];
}

export class MockLanfinder {
  constructor({
    devices = [],
    nics = defaultNics(),
    languages = ['en', 'de'],
    language = 'en',
    theme = 'light',
    protocolState = { available: true, details: '' },
    batch = null,
    behaviour = {},
  } = {}) {
    this.state = {
      autoScanner: { isActive: true, lastScanTime: null, scanIntervalMs: 1000 },
      devices: { list: devices.map((d) => ({ ...d })) },
      nics,
      languages,
      protocolState,
      language,
      theme,
      version: '1.2.3',
      batch,
    };
    this.requests = []; // accepted requests, parsed
    this.rejected = []; // { text, error }
    this.clients = new Set();
    this.pendingNotifications = [];
    // Test hooks: what the "device side" does with a request. Each returns nothing.
    // `batchOutcomes` (id -> failure reason) decides how a played job ends
    // per device; `playBatch: false` leaves a job running for the test to move.
    this.behaviour = { answerRequests: true, playBatch: true, batchOutcomes: {}, ...behaviour };
    this.jobPlan = new Map(); // id -> the job item the last job asked for
    this.connects = 0;
  }

  device(id) {
    return this.state.devices.list.find((d) => d.id === id);
  }

  async start() {
    this.http = http.createServer((req, res) => this.serve(req, res));
    this.wss = new WebSocketServer({ noServer: true });
    this.http.on('upgrade', (req, socket, head) => {
      if (this.refusing || new URL(req.url, 'http://x').pathname !== '/ws') {
        socket.destroy();
        return;
      }
      this.wss.handleUpgrade(req, socket, head, (ws) => this.onConnect(ws));
    });
    await new Promise((resolve) => this.http.listen(0, '127.0.0.1', resolve));
    this.port = this.http.address().port;
    this.url = `http://127.0.0.1:${this.port}/`;
    return this;
  }

  async stop() {
    for (const ws of this.clients) ws.terminate();
    this.clients.clear();
    await new Promise((resolve) => this.wss.close(() => resolve()));
    this.http.closeAllConnections?.();
    await new Promise((resolve) => this.http.close(() => resolve()));
  }

  serve(req, res) {
    let pathname = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    if (pathname.endsWith('/')) pathname += 'index.html';
    const file = path.resolve(WEB_ROOT, `.${pathname}`);
    if (!file.startsWith(WEB_ROOT + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404, { 'content-type': 'text/plain' });
      res.end('not found');
      return;
    }
    res.writeHead(200, { 'content-type': MIME[path.extname(file)] || 'application/octet-stream', 'cache-control': 'no-store' });
    fs.createReadStream(file).pipe(res);
  }

  onConnect(ws) {
    this.connects += 1;
    this.clients.add(ws);
    ws.on('close', () => this.clients.delete(ws));
    ws.on('message', (data) => this.onMessage(ws, data.toString()));
    ws.send(JSON.stringify(this.state, null, 4));
  }

  /** Sends a diff document to every browser, with any pending notifications. */
  sendDiff(diff = {}) {
    const doc = { ...diff };
    if (this.pendingNotifications.length) {
      doc.notifications = this.pendingNotifications;
      this.pendingNotifications = [];
    }
    if (Object.keys(doc).length === 0) return;
    const text = JSON.stringify(doc, null, 4);
    for (const ws of this.clients) ws.send(text);
  }

  sendRaw(text) {
    for (const ws of this.clients) ws.send(text);
  }

  /** Posts a notification: it rides on the next diff, as in the program. A request's outcome names its device. */
  notify(message, deviceId = null) {
    const n = { message, creationTime: new Date().toISOString().slice(0, 19) };
    if (deviceId) n.deviceId = deviceId;
    this.pendingNotifications.push(n);
  }

  /** Delivers pending notifications now, in a diff of their own (the program's next scan tick does that). */
  tick() {
    this.state.autoScanner.lastScanTime = new Date().toISOString().slice(0, 19);
    this.sendDiff({ autoScanner: { lastScanTime: this.state.autoScanner.lastScanTime } });
  }

  addDevice(device) {
    this.state.devices.list.push({ ...device });
    this.sendDiff({ devices: { added: [device] } });
  }

  removeDevice(id) {
    this.state.devices.list = this.state.devices.list.filter((d) => d.id !== id);
    this.sendDiff({ devices: { removed: [{ id }] } });
  }

  /** Changes keys of a device and sends them, each key in its own diff as the program does. */
  updateDevice(id, changes, { oneDiff = false } = {}) {
    const d = this.device(id);
    const visible = { ...changes };
    delete visible.shouldProcess;
    delete visible.processingStartedTime;
    if (d) Object.assign(d, visible);
    if (oneDiff) {
      this.sendDiff({ devices: { updated: [{ id, ...changes }] } });
      return;
    }
    for (const [key, value] of Object.entries(changes)) this.sendDiff({ devices: { updated: [{ id, [key]: value }] } });
  }

  setApp(key, value) {
    this.state[key] = value;
    this.sendDiff({ [key]: value });
  }

  /** Drops every connection without a goodbye and, with `refuse`, turns new ones away. */
  drop({ refuse = false } = {}) {
    this.refusing = refuse;
    for (const ws of this.clients) ws.terminate();
  }

  /** Accepts connections again after drop({ refuse: true }). */
  accept() {
    this.refusing = false;
  }

  /** Closes every browser connection the way the program does at shutdown. */
  shutdown() {
    for (const ws of this.clients) {
      ws.send('SessionClosing');
      ws.close();
    }
  }

  onMessage(ws, text) {
    const error = validateRequest(text);
    if (error) {
      this.rejected.push({ text, error });
      return;
    }
    const req = JSON.parse(text);
    this.requests.push(req);
    // Without answers the mock acts like an application that drops the request.
    if (!this.behaviour.answerRequests) return;
    ws.send(JSON.stringify({ reqId: req.reqId, reqType: req.reqType, status: 'OK' }));
    switch (req.reqType) {
      case 'SetTheme':
        if (this.state.theme !== req.theme) this.setApp('theme', req.theme);
        break;
      case 'SetLanguage':
        if (this.state.language !== req.language) this.setApp('language', req.language);
        break;
      case 'SetFavorite': {
        const d = this.device(req.deviceId);
        if (!d) break;
        if (d.isFavorite !== req.isFavorite) this.updateDevice(d.id, { isFavorite: req.isFavorite });
        this.notify(req.isFavorite ? 'DeviceSetToFavorites' : 'DeviceRemovedFromFavorites');
        this.tick();
        break;
      }
      case 'ChangeDevices':
        this.startJob(req);
        break;
      case 'CancelBatch':
        this.cancelJob();
        break;
      default:
        break;
    }
    this.behaviour.onRequest?.(req, this);
  }

  /** Starts a job as the program does: one at a time, its report replacing the last one. */
  startJob(req) {
    if (this.state.batch && this.state.batch.state === 'running') {
      this.notify('Another batch is running');
      this.tick();
      return;
    }
    this.jobPlan = new Map(req.devices.map((d) => [d.deviceId, d]));
    // Every job has a start time of its own, also two within one millisecond.
    const at = Math.max(Date.now(), (this.lastJobAt || 0) + 1);
    this.lastJobAt = at;
    this.state.batch = {
      state: 'running',
      startedTime: new Date(at).toISOString().slice(0, 23),
      finishedTime: null,
      items: req.devices.map((d) => ({ deviceId: d.deviceId, status: 'pending', message: '' })),
    };
    this.sendDiff({ batch: structuredClone(this.state.batch) });
    if (this.behaviour.playBatch) this.playJob();
  }

  /** Moves one device of the running job on; only the changed item rides in the diff. */
  setJobItem(deviceId, status, message = '') {
    const job = this.state.batch;
    const item = job && job.items.find((i) => i.deviceId === deviceId);
    if (!item) return;
    Object.assign(item, { status, message });
    if (status === 'done') {
      const plan = this.jobPlan.get(deviceId);
      const d = this.device(deviceId);
      if (plan && d)
        Object.assign(d, { name: plan.name, ip: plan.ip, subnetMask: plan.subnetMask, defaultGateway: plan.defaultGateway, networkMethod: plan.networkMethod });
      if (plan && d) this.sendDiff({ devices: { updated: [{ id: deviceId, name: plan.name, ip: plan.ip }] } });
    }
    const diff = { state: job.state, items: [{ ...item }] };
    if (job.items.every((i) => ['done', 'failed', 'cancelled'].includes(i.status))) {
      job.state = 'done';
      job.finishedTime = new Date().toISOString().slice(0, 19);
      Object.assign(diff, { state: job.state, finishedTime: job.finishedTime });
    }
    this.sendDiff({ batch: diff });
  }

  /** Plays the job through, device by device, each step its own diff as the program's would be. */
  async playJob() {
    const job = this.state.batch;
    for (const item of [...job.items]) {
      for (const status of ['sent', 'processing', 'rebooting']) {
        if (this.state.batch !== job || job.state !== 'running') return;
        this.setJobItem(item.deviceId, status);
        await new Promise((r) => setImmediate(r));
      }
      if (this.state.batch !== job || job.state !== 'running') return;
      const reason = this.behaviour.batchOutcomes[item.deviceId];
      this.setJobItem(item.deviceId, reason ? 'failed' : 'done', reason || '');
    }
  }

  cancelJob() {
    const job = this.state.batch;
    if (!job || job.state !== 'running') return;
    const changed = job.items.filter((i) => !['done', 'failed', 'cancelled'].includes(i.status));
    for (const i of changed) Object.assign(i, { status: 'cancelled', message: '' });
    job.state = 'cancelled';
    job.finishedTime = new Date().toISOString().slice(0, 19);
    this.sendDiff({ batch: { state: job.state, finishedTime: job.finishedTime, items: changed.map((i) => ({ ...i })) } });
  }

  /** Waits until a request of the type has arrived; returns it. */
  async waitForRequest(reqType, { timeoutMs = 20000, after = 0 } = {}) {
    const deadline = Date.now() + timeoutMs;
    while (Date.now() < deadline) {
      const found = this.requests.slice(after).find((r) => r.reqType === reqType);
      if (found) return found;
      await new Promise((r) => setTimeout(r, 20));
    }
    throw new Error(`no ${reqType} request within ${timeoutMs} ms; got ${JSON.stringify(this.requests.map((r) => r.reqType))}`);
  }
}
