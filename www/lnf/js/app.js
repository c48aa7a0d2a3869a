// Wires the page: the connection, the store, the table, the details panel,
// the toasts and the toolbar. Handlers change the store and mark what they
// made stale; render() draws it, once for all the marks of one event.

import { applyDiff, applyFullState, classifyFrame, createChanges, hasDeviceChanges } from './state.js';
import { buildView, updateView, createViewCache, viewAffected, FILTERS } from './view.js';
import { FilterCounts } from './counts.js';
import { COLUMNS } from './columns.js';
import { Connection } from './connection.js';
import { DeviceTable } from './table.js';
import { DetailsPanel } from './details.js';
import { Toasts } from './toasts.js';
import { h, clear, setText } from './dom.js';
import { createTranslator, isSafeLanguageCode, languageName, loadDictionary } from './i18n.js';
import { describeMessage, foldNotifications, OutcomeTracker, translateMessage } from './notify.js';
import * as requests from './requests.js';
import { toCsv, toJson, exportFileName } from './exporter.js';
import { deviceLabel, formatDateTime, formatTime } from './present.js';
import { subnetText } from './ipv4.js';
import { store } from './store.js';
import { formatNumber, pluralCategory } from './numbers.js';
import { GoneRows } from './gone.js';
import { BatchPanel } from './batchpanel.js';
import { AnswerClock } from './answered.js';
import { readViewQuery, writeViewQuery } from './urlstate.js';
import { askToDiscard } from './confirm.js';
import {
  ANSWER_TIMEOUT_MS,
  CHANGE_OUTCOME_MS,
  DOWNLOAD_URL_LIFETIME_MS,
  FAVORITE_OUTCOME_MS,
  FAVORITE_SETTLE_MS,
  LOCALIZE_OUTCOME_MS,
  SEARCH_DEBOUNCE_MS,
} from './timeouts.js';

const $ = (id) => document.getElementById(id);
const PREFS_KEY = 'lanfinder.ui';
const HISTORY_MAX = 200;

const { state, ui } = store;
const tracker = new OutcomeTracker();
const viewCache = createViewCache();
const filterCounts = new FilterCounts();
const gone = new GoneRows();
const answers = new AnswerClock();
let goneTimer = null;
const leftHere = new Set(); // ids of favourites this page saw go missing
const i18n = { dictionaries: { en: {} }, t: createTranslator({}, {}), loading: null };
const t = (...a) => i18n.t(...a);
const locale = () => store.language || 'en';
const isOpen = () => store.connection.status === 'open';

const prefs = loadPrefs();
if (prefs.sortKey && COLUMNS.some((c) => c.key === prefs.sortKey)) ui.sortKey = prefs.sortKey;
ui.sortDir = prefs.sortDir === 'desc' ? 'desc' : 'asc';
ui.columns = new Set(Array.isArray(prefs.columns) ? prefs.columns : COLUMNS.map((c) => c.key));

// The address wins over the saved preferences: it is what a bookmark or a reload asks for.
const asked = readViewQuery(location.search, { filters: FILTERS, columns: COLUMNS.map((c) => c.key) });
if (asked.query !== undefined) ui.query = asked.query;
if (asked.filters) ui.filters = new Set(asked.filters);
if (asked.sortKey) {
  ui.sortKey = asked.sortKey;
  ui.sortDir = asked.sortDir;
}
// Known only once the state has arrived: the card list and the devices.
let askedNic = asked.nic || '';
let askedDevice = asked.selectedId || null;

function loadPrefs() {
  try {
    return JSON.parse(localStorage.getItem(PREFS_KEY) || '{}') || {};
  } catch {
    return {};
  }
}

function savePrefs({ theme = state.theme } = {}) {
  try {
    localStorage.setItem(
      PREFS_KEY,
      JSON.stringify({
        sortKey: ui.sortKey,
        sortDir: ui.sortDir,
        columns: [...ui.columns],
        theme,
        language: store.language,
      }),
    );
  } catch {
    // private mode: preferences last for this page only
  }
}

// The last theme, so a reload does not flash the other one before the state arrives.
applyTheme(prefs.theme === 'dark' ? 'dark' : 'light');

const table = new DeviceTable(
  {
    scroll: $('table-scroll'),
    table: $('device-table'),
    colgroup: $('colgroup'),
    headRow: $('head-row'),
    tbody: $('rows'),
  },
  {
    t,
    state: () => state,
    goneDevice: (id) => gone.get(id),
    ctx: () => ({ stamp: store.rowStamp, sending: store.sending, favPending: store.favPending, selectedId: store.selectedId, picked }),
    onPick: (id, range) => pick(id, range),
    onPickAll: (on) => pickShown(on),
    onOpen: (id, focus) => openDetails(id, focus),
    onToggleFavorite: (id) => toggleFavorite(id),
    onCopied: (ok, text) =>
      toasts.show({ title: t(ok ? 'details.copied' : 'details.copyFailed'), level: ok ? 'info' : 'error', device: text, key: 'copy', message: text }),
    onSort: (key) => {
      if (ui.sortKey === key) ui.sortDir = ui.sortDir === 'asc' ? 'desc' : 'asc';
      else {
        ui.sortKey = key;
        ui.sortDir = 'asc';
      }
      savePrefs();
      store.mark('sort', 'view');
    },
  },
);
table.setSort(ui.sortKey, ui.sortDir);
table.setColumns(ui.columns);

const details = new DetailsPanel({
  t,
  state: () => state,
  locale,
  closed: () => !isOpen(),
  favoriteShown: (id) => favoriteShown(id),
  translateStatus: (line) => translateMessage(line, t),
  onClose: () => closeDetails(),
  onRequestClose: () => requestCloseDetails(),
  onOpen: (id) => openDetails(id, true),
  onToggleFavorite: (id) => toggleFavorite(id),
  onChange: (id, payload, name) => sendChange(id, payload, name),
  onLocalize: (id, cred, name) => sendLocalize(id, cred, name),
  lastAnswered: (id) => answers.lastAnswered(id),
});

const toasts = new Toasts($('toasts'), t);

// The devices picked for a job of many changes, and the row a Shift-click
// range starts from.
const picked = new Set();
let pickAnchor = null;

const batchPanel = new BatchPanel({
  t,
  tn: (key, n) => tn(key, n),
  locale,
  state: () => state,
  picked: () => pickedDevices(),
  label: (d) => deviceLabel(d, t),
  translate: (m) => translateMessage(m, t),
  send: (req, opts) => outbox.send(req, opts),
  download: (text, type, name) => download(text, type, name),
  isOpenConnection: () => isOpen(),
});

// A remote browser normally holds the access token in its cookie, which the
// same-origin upgrade carries; a page opened with ?token= hands it on too.
const accessToken = new URLSearchParams(location.search).get('token');
const connection = new Connection({
  url: `${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}/ws` + (accessToken ? `?token=${encodeURIComponent(accessToken)}` : ''),
  onFrames: handleFrames,
  onStatus: setConnectionStatus,
});

const rejected = (label) => toasts.show({ title: t('error.requestRejected', { request: label }), level: 'error' });
const outbox = new requests.RequestTracker({
  transmit: (req) => connection.send(req),
  timeoutMs: ANSWER_TIMEOUT_MS,
  onNotSent: () => toasts.show({ title: t('error.notConnected'), level: 'error' }),
  onRejected: rejected,
  // The socket closing drops every request without a word; the banner says why.
  onUnanswered: (label) => isOpen() && rejected(label),
});

// ---- incoming documents ----

/**
 * Favourites going missing and coming back, frame by frame (a batch may
 * hold both). Favourites the program starts with are missing until they
 * first answer: only a device this page saw leave is announced as back.
 */
function noteMissing(doc, back) {
  const updated = doc.devices && Array.isArray(doc.devices.updated) ? doc.devices.updated : [];
  for (const entry of updated) {
    if (!entry || typeof entry.isMissing !== 'boolean') continue;
    if (entry.isMissing) leftHere.add(entry.id);
    else if (leftHere.delete(entry.id) && state.devices.has(entry.id)) back.push(state.devices.get(entry.id));
  }
}

function handleFrames(frames) {
  const started = performance.now();
  const changes = createChanges();
  const back = [];
  for (const frame of frames) {
    const kind = classifyFrame(frame.text);
    switch (kind.kind) {
      case 'full':
        // Parsed from the frame just now: nobody else holds it.
        applyFullState(state, kind.doc, changes, { adopt: true });
        store.favPending.clear();
        gone.clear();
        leftHere.clear();
        answers.reset(state);
        break;
      case 'diff':
        applyDiff(state, kind.doc, changes);
        if (kind.doc.autoScanner) answers.scan(state.autoScanner.lastScanTime);
        noteMissing(kind.doc, back);
        break;
      case 'answer':
        outbox.answer(kind.doc);
        break;
      case 'closing':
        break;
      default:
        console.warn('lanfinder: ignored a frame that is not JSON', frame.text.slice(0, 200));
    }
  }
  if (changes.full) for (const id of picked) if (!state.devices.has(id)) picked.delete(id);
  for (const d of changes.removedDevices) {
    if (picked.delete(d.id)) store.mark('picked');
    tracker.deviceLeft(d.id, deviceLabel(d, t));
    store.favPending.delete(d.id);
    store.sending.delete(d.id);
    if (!state.devices.has(d.id)) {
      answers.silenced(d.id);
      gone.keep(d);
    }
  }
  if (!changes.full) {
    for (const id of changes.added) {
      const d = state.devices.get(id);
      if (gone.back(id)) back.push(d);
      answers.added(id, d);
      if (!d.isMissing) answers.answered(id);
    }
  }
  for (const [id, keys] of changes.updated) {
    const d = state.devices.get(id);
    if (keys.has('isMissing') && d.isMissing) tracker.deviceLeft(id, deviceLabel(d, t));
    answers.changed(id, keys, d);
    if (keys.has('isFavorite')) store.favPending.delete(id);
  }
  announceBack(back);
  armGoneTimer();
  if (changes.app.has('language') && state.language !== store.language) setLanguage(state.language);
  if (askedDevice && state.loaded) {
    const id = askedDevice;
    askedDevice = null;
    if (state.devices.has(id)) openDetails(id, false);
  }
  store.receive(changes, { arrived: frames.map((f) => f.at), started });
  // Frames come in an animation frame already: draw them in it.
  store.render();
}

// ---- the render pass ----

const COUNTED_KEYS = new Set(['isFavorite', 'isMissing', 'isAccessible', 'deviceState', 'shouldProcess', 'isProcessing', 'isRebooting', 'conflict', 'ip']);

function countsAffected(changes) {
  if (changes.full || changes.added.size || changes.removed.size) return true;
  for (const keys of changes.updated.values()) for (const k of keys) if (COUNTED_KEYS.has(k)) return true;
  return false;
}

function render({ dirty, changes }) {
  const app = changes ? changes.app : new Set();
  const relabel = dirty.has('language');
  if (app.has('theme')) applyTheme(state.theme);
  if (relabel) {
    translateStatic();
    table.relabel();
    details.relabel();
  }
  if (relabel || app.has('languages')) buildLanguageMenu();
  if (relabel || app.has('nics')) buildNicFilter();
  if (dirty.has('columns')) table.setColumns(ui.columns);
  if (dirty.has('sort')) table.setSort(ui.sortKey, ui.sortDir);

  let viewChanged = false;
  if (dirty.has('view')) {
    store.view = buildView(state, ui, viewCache, gone);
    viewChanged = true;
  } else if (changes && viewAffected(changes, ui)) {
    store.view = updateView(state, store.view, changes, ui, viewCache, gone);
    viewChanged = true;
  }
  if (dirty.has('gone')) {
    const expired = new Set(gone.expire());
    if (expired.size) {
      store.view = store.view.filter((id) => !expired.has(id));
      viewChanged = true;
    }
  }
  if (viewChanged) table.setView(store.view);

  if (relabel || dirty.has('rowStamp')) store.rowStamp += 1;
  if (
    viewChanged ||
    relabel ||
    dirty.has('gone') ||
    dirty.has('rowStamp') ||
    dirty.has('rows') ||
    dirty.has('columns') ||
    (changes && (hasDeviceChanges(changes) || app.size))
  ) {
    table.render();
  }
  if (changes && hasDeviceChanges(changes)) filterCounts.update(state, changes);
  if (relabel || (changes && countsAffected(changes))) updateCounts();
  else if (viewChanged) updateRowCount();

  if (changes) details.update(changes);
  if (dirty.has('details') && details.isOpen) details.render();

  updateAddress();
  updateConnectionClasses();
  updateBanners();
  updateStatusbar();
  updateEmpty();
  if (relabel || dirty.has('picked') || dirty.has('rowStamp') || (changes && (changes.app.has('batch') || changes.full || changes.removed.size))) renderBatch();
  if (changes) showNotifications(changes.notifications);
  if (app.has('nics') && $('dlg-nics').open) renderNics();
}

store.onRender(render);

function showNotifications(list) {
  if (!list.length) return;
  const items = list.map((n) => {
    if (n.deviceId) {
      // The program names the device: by the name it has now (a rename's
      // outcome arrives with the new name), or, once it has left the list,
      // by the one it had when this page asked.
      const asked = tracker.resolveFor(n.message, n.deviceId);
      const d = state.devices.get(n.deviceId);
      return { ...n, device: d ? deviceLabel(d, t) : asked || n.deviceId };
    }
    const who = tracker.resolve(n.message);
    return { ...n, device: who ? who.name : '', deviceId: who ? who.deviceId : null };
  });
  for (const item of items) {
    const { kind, level } = describeMessage(item.message);
    if (['change', 'localize', 'either'].includes(kind) && item.deviceId && item.deviceId === details.deviceId) details.outcome(item.message, { level, kind });
  }
  if (items.some((item) => item.message === 'Another batch is running')) batchPanel.refused();
  const { history } = store;
  for (const item of items) {
    history.push({ ...item, at: item.creationTime || new Date().toISOString() });
    if (history.length > HISTORY_MAX) history.shift();
  }
  setText($('messages-count'), String(history.length));
  if ($('dlg-messages').open) renderMessages();
  for (const item of foldNotifications(items)) {
    const { level, kind } = describeMessage(item.message);
    // Messages about one device fold into its one toast, which counts them.
    const key = item.deviceId ? `${kind === 'presence' ? 'presence' : item.message}:${item.deviceId}` : item.message;
    toasts.show({ title: translateMessage(item.message, t), level, device: item.device, count: item.count, message: item.message, key });
  }
}

/** Says that devices which left or went missing answer again. */
function announceBack(devices) {
  if (!devices.length) return;
  const now = new Date().toISOString();
  for (const d of devices) {
    const name = deviceLabel(d, t);
    store.history.push({ message: '', text: t('toast.deviceBack'), device: name, deviceId: d.id, at: now, level: 'success' });
    if (store.history.length > HISTORY_MAX) store.history.shift();
    toasts.show({ title: t('toast.deviceBack'), level: 'success', device: name, key: `presence:${d.id}`, message: 'back' });
  }
  setText($('messages-count'), String(store.history.length));
  if ($('dlg-messages').open) renderMessages();
}

/** Wakes the page when the oldest kept row of a device that left is due to go. */
function armGoneTimer() {
  clearTimeout(goneTimer);
  const wait = gone.nextExpiry();
  if (wait === null) return;
  goneTimer = setTimeout(() => {
    store.mark('gone');
    store.render();
    armGoneTimer();
  }, wait + 50);
}

function renderMessages() {
  const list = $('message-list');
  const { history } = store;
  clear(list);
  $('message-empty').hidden = history.length > 0;
  for (let i = history.length - 1; i >= 0; i--) {
    const m = history[i];
    const level = m.level || describeMessage(m.message).level;
    list.append(
      h(
        'li',
        { class: level },
        h('time', { datetime: m.at, text: formatTime(m.at, locale()) }),
        h('span', { class: 'msg-text', text: m.text || translateMessage(m.message, t) }),
        m.device ? h('span', { class: 'msg-device', text: m.device }) : null,
      ),
    );
  }
}

// ---- requests ----

function favoriteShown(id) {
  if (store.favPending.has(id)) return store.favPending.get(id);
  const d = state.devices.get(id);
  return Boolean(d && d.isFavorite);
}

/** A device's row and, when it is the one shown, its panel redraw. */
function markDevice(id) {
  store.mark('rowStamp');
  if (details.deviceId === id) store.mark('details');
}

function toggleFavorite(id) {
  const d = state.devices.get(id);
  if (!d || !isOpen()) return;
  const want = !favoriteShown(id);
  const forget = () => {
    store.favPending.delete(id);
    markDevice(id);
  };
  store.favPending.set(id, want);
  tracker.expect('favorite', id, deviceLabel(d, t), FAVORITE_OUTCOME_MS);
  const settle = () => {
    setTimeout(() => {
      if (store.favPending.get(id) === want) forget();
    }, FAVORITE_SETTLE_MS);
  };
  outbox.send(requests.setFavorite(id, want), { label: t('request.favorite'), onOk: settle, onFail: forget });
  markDevice(id);
}

function sendChange(id, payload, name) {
  store.sending.add(id);
  const ok = outbox.send(requests.changeDevice(payload), {
    label: t('request.change'),
    onOk: () => {
      store.sending.delete(id);
      tracker.expect('change', id, name, CHANGE_OUTCOME_MS);
      if (details.deviceId === id) details.requestAccepted();
      markDevice(id);
    },
    onFail: () => {
      store.sending.delete(id);
      // The program refused it (a lost connection has its own banner).
      if (details.deviceId === id) details.requestFailed(isOpen() ? t('error.requestRejected', { request: t('request.change') }) : null);
      markDevice(id);
    },
  });
  if (!ok) store.sending.delete(id);
  markDevice(id);
  return ok;
}

function sendLocalize(id, cred, name) {
  $('d-localize').disabled = true;
  const done = () => store.mark('details');
  outbox.send(requests.localize(id, cred.username, cred.password), {
    label: t('request.localize'),
    onOk: () => {
      tracker.expect('localize', id, name, LOCALIZE_OUTCOME_MS);
      toasts.show({ title: t('toast.localizeSent'), level: 'info', device: name });
      done();
    },
    onFail: done,
  });
}

// ---- picking devices for a job ----

function pick(id, range) {
  const anchor = pickAnchor !== null ? table.index.get(pickAnchor) : undefined;
  const at = table.index.get(id);
  if (range && anchor !== undefined && at !== undefined) {
    // The range takes the anchor's choice, as in a file manager.
    const on = picked.has(pickAnchor);
    for (let i = Math.min(anchor, at); i <= Math.max(anchor, at); i++) {
      const other = store.view[i];
      if (!state.devices.has(other)) continue;
      if (on) picked.add(other);
      else picked.delete(other);
    }
  } else {
    if (picked.has(id)) picked.delete(id);
    else picked.add(id);
    pickAnchor = id;
  }
  store.mark('picked', 'rows');
}

/** Picks or drops every device the search and filters show. */
function pickShown(on) {
  for (const id of store.view) {
    if (!state.devices.has(id)) continue;
    if (on) picked.add(id);
    else picked.delete(id);
  }
  store.mark('picked', 'rows');
}

/** The picked devices in the table's order, then any the filters hide, in list order. */
function pickedDevices() {
  // Asked on every render pass: with nothing picked, no walk over the view.
  if (picked.size === 0) return [];
  const out = [];
  const seen = new Set();
  for (const id of store.view) {
    if (picked.has(id) && state.devices.has(id)) {
      out.push(state.devices.get(id));
      seen.add(id);
    }
  }
  for (const id of picked) if (!seen.has(id) && state.devices.has(id)) out.push(state.devices.get(id));
  return out;
}

function renderBatch() {
  setText($('batch-count'), String(picked.size));
  const line = batchPanel.statusText();
  $('sb-batch').hidden = !line;
  setText($('sb-batch'), line);
  batchPanel.render();
}

// ---- view ----

function updateRowCount() {
  const total = state.devices.size;
  let shown = store.view.length;
  // Rows kept for devices that left are not devices of the list.
  if (gone.size) for (const id of store.view) if (gone.has(id) && !state.devices.has(id)) shown -= 1;
  setText($('row-count'), shown === total ? tn('count.devices', total) : t('count.showing', { shown, total }));
}

function updateCounts() {
  for (const el of document.querySelectorAll('[data-count]')) {
    const n = filterCounts.get(el.dataset.count);
    setText(el, n ? String(n) : '');
  }
  updateRowCount();
}

function updateEmpty() {
  const empty = $('empty');
  const show = store.view.length === 0;
  const closed = store.connection.status === 'closed';
  empty.hidden = !show;
  if (!show) return;
  const filtered = state.devices.size > 0;
  $('btn-clear-filters').hidden = !filtered;
  empty.querySelector('.radar').hidden = filtered || !isOpen() || !state.protocolState.available;
  if (!state.loaded) {
    setText($('empty-title'), closed ? t('empty.closedTitle') : t('empty.connectingTitle'));
    setText($('empty-text'), closed ? t('closed.text') : '');
  } else if (filtered) {
    setText($('empty-title'), t('empty.noMatchTitle'));
    setText($('empty-text'), t('empty.noMatchText'));
  } else {
    setText($('empty-title'), t('empty.searchingTitle'));
    setText($('empty-text'), state.nics.length ? t('empty.searchingText') : t('nics.noneText'));
  }
}

function tn(key, n) {
  const rule = pluralCategory(locale(), n);
  const k = i18n.t.has(`${key}.${rule}`) ? `${key}.${rule}` : `${key}.other`;
  return t(k, { n: formatNumber(locale(), n) });
}

// ---- details ----

// Whether edits of the open device may go; asks when there are any.
let asking = null;
function mayLeaveEdits() {
  if (!details.hasUnsavedEdits()) return Promise.resolve(true);
  if (!asking) {
    const d = details.device();
    asking = askToDiscard($('dlg-discard'), t('discard.text', { name: deviceLabel(d, t) })).finally(() => {
      asking = null;
    });
  }
  return asking;
}

async function openDetails(id, focus) {
  if (!state.devices.has(id)) return;
  if (details.isOpen && details.deviceId !== id && !(await mayLeaveEdits())) {
    table.setActive(details.deviceId);
    return;
  }
  if (!state.devices.has(id)) return;
  store.selectedId = id;
  table.setActive(id, { scroll: focus });
  details.open(id, { focus });
  document.body.classList.add('details-open');
  // The selection is a class on the row: its cells keep their nodes (and a text selection in them).
  store.mark('rows');
}

async function requestCloseDetails() {
  if (details.isOpen && (await mayLeaveEdits())) closeDetails();
}

function closeDetails() {
  const had = details.isOpen;
  details.close();
  document.body.classList.remove('details-open');
  store.selectedId = null;
  store.mark('rows');
  if (had) $('device-table').focus();
}

// ---- connection, banners, status bar ----

function setConnectionStatus(status, { reason = '' } = {}) {
  store.connection = { status, reason };
  if (status === 'closed') {
    outbox.abandonAll();
    store.sending.clear();
    store.favPending.clear();
    if (details.mode !== 'edit') details.requestFailed();
  }
  store.mark('rowStamp', 'details');
}

function updateAddress() {
  const view = {
    query: ui.query,
    filters: [...ui.filters],
    nic: ui.nic || askedNic,
    sortKey: ui.sortKey,
    sortDir: ui.sortDir,
    selectedId: store.selectedId || askedDevice,
  };
  const search = writeViewQuery(location.search, view);
  if (search !== location.search) history.replaceState(history.state, '', `${location.pathname}${search}${location.hash}`);
}

function updateConnectionClasses() {
  const { status } = store.connection;
  document.body.classList.toggle('is-open', status === 'open');
  document.body.classList.toggle('is-connecting', status === 'connecting');
  document.body.classList.toggle('is-closed', status === 'closed');
}

function updateBanners() {
  const { status, reason } = store.connection;
  const closed = status === 'closed';
  $('banner-closed').hidden = !closed;
  if (closed) {
    setText($('closed-title'), t(reason === 'failed' ? 'closed.failedTitle' : reason === 'dropped' ? 'closed.droppedTitle' : 'closed.title'));
    setText($('closed-text'), t('closed.text'));
  }
  const protocolDown = state.loaded && !closed && state.protocolState.available === false;
  $('banner-protocol').hidden = !protocolDown;
  setText($('protocol-details'), state.protocolState.details);
  $('protocol-details').hidden = !state.protocolState.details;
  $('banner-nics').hidden = !(state.loaded && !closed && state.nics.length === 0);
}

function updateStatusbar() {
  const { status } = store.connection;
  const key = status === 'open' ? 'status.connected' : status === 'connecting' ? 'status.connecting' : 'status.closed';
  setText($('sb-connection-text'), t(key));
  const scanner = state.autoScanner;
  let scan = '';
  if (state.loaded && status === 'open') {
    const every = Math.max(0.1, Number(scanner.scanIntervalMs) / 1000 || 1);
    // The program keeps its scanner switched on while the protocol is down, but sends nothing then.
    const searching = scanner.isActive && state.protocolState.available !== false;
    scan = searching ? t('status.scanning', { s: formatNumber(locale(), every) }) : t('status.notScanning');
    const last = formatTime(scanner.lastScanTime, locale());
    if (last) scan += ` · ${t('status.lastScan', { time: last })}`;
  }
  setText($('sb-scan'), scan);
  setText($('sb-devices'), state.loaded ? tn('count.devices', state.devices.size) : '');
  setText($('sb-version'), state.version ? `lanfinder ${state.version}` : '');
  document.title = state.loaded && state.devices.size ? `lanfinder (${state.devices.size})` : 'lanfinder';
  setText($('nic-count'), String(state.nics.length));
}

// ---- theme and language ----

function applyTheme(theme) {
  const value = theme === 'dark' ? 'dark' : 'light';
  document.documentElement.dataset.theme = value;
  $('btn-theme').setAttribute('aria-pressed', value === 'dark' ? 'true' : 'false');
}

async function setLanguage(code) {
  // A code the program does not list (or an unsafe one) falls back to English.
  const wanted = isSafeLanguageCode(code) && state.languages.includes(code) ? code : 'en';
  store.language = wanted;
  const { dictionaries } = i18n;
  const load = (async () => {
    try {
      if (!dictionaries.en || !Object.keys(dictionaries.en).length) dictionaries.en = await loadDictionary('en');
      if (!dictionaries[wanted]) dictionaries[wanted] = await loadDictionary(wanted);
    } catch (e) {
      console.warn('lanfinder: translations not loaded', e);
    }
  })();
  i18n.loading = load;
  await load;
  if (i18n.loading !== load) return;
  i18n.t = createTranslator(dictionaries[wanted] || {}, dictionaries.en || {});
  document.documentElement.lang = wanted;
  document.documentElement.dataset.language = wanted;
  savePrefs();
  store.mark('language');
  // The texts are there now; show them in this task, as before the socket opens.
  store.render();
}

function translateStatic() {
  for (const el of document.querySelectorAll('[data-i18n]')) el.textContent = t(el.dataset.i18n);
  for (const el of document.querySelectorAll('[data-i18n-attr]')) {
    for (const pair of el.dataset.i18nAttr.split(';')) {
      const [attr, key] = pair.split(':');
      el.setAttribute(attr, t(key));
    }
  }
}

function buildLanguageMenu() {
  const select = $('language');
  clear(select);
  for (const code of state.languages) {
    if (!isSafeLanguageCode(code)) continue;
    select.append(h('option', { value: code, text: languageName(code, i18n.dictionaries[code]) }));
  }
  select.value = store.language || state.language;
}

function buildNicFilter() {
  const select = $('filter-nic');
  const keep = select.value || askedNic;
  if (state.loaded) askedNic = '';
  clear(select);
  select.append(h('option', { value: '', text: t('filters.allNics') }));
  for (const nic of state.nics) {
    for (const a of Array.isArray(nic.addresses) ? nic.addresses : []) {
      if (a && a.ip) select.append(h('option', { value: a.ip, text: `${nic.name || nic.mac || ''} · ${a.ip}` }));
    }
  }
  select.value = [...select.options].some((o) => o.value === keep) ? keep : '';
  if (select.value !== ui.nic) {
    ui.nic = select.value;
    store.mark('view');
  }
}

function renderNics() {
  const list = $('nic-list');
  clear(list);
  if (!state.nics.length) {
    list.append(h('p', { class: 'note', text: t('nics.noneText') }));
    return;
  }
  const perCard = new Map();
  for (const d of state.devices.values()) perCard.set(d.ipOfAssociatedNic, (perCard.get(d.ipOfAssociatedNic) || 0) + 1);
  for (const nic of state.nics) {
    const dl = h('dl', { class: 'info' });
    for (const a of Array.isArray(nic.addresses) ? nic.addresses : []) {
      dl.append(
        h('dt', { text: t('nics.address') }),
        h('dd', {
          class: 'mono',
          text: `${a.ip} / ${a.subnetMask}  (${subnetText(a.ip, a.subnetMask) || '?'}) — ${tn('count.devices', perCard.get(a.ip) || 0)}`,
        }),
      );
    }
    const gateways = (nic.gateways || []).filter((g) => g && g !== '0.0.0.0');
    dl.append(h('dt', { text: t('col.defaultGateway') }), h('dd', { class: 'mono', text: gateways.join(', ') || t('details.none') }));
    dl.append(h('dt', { text: t('col.mac') }), h('dd', { class: 'mono', text: nic.mac || '' }));
    list.append(h('section', { class: 'nic' }, h('h3', {}, h('span', { text: nic.name || '' })), dl));
  }
}

function renderColumnChooser() {
  const list = $('column-list');
  clear(list);
  for (const col of COLUMNS) {
    if (col.fixed) continue;
    const box = h('input', { type: 'checkbox', value: col.key });
    box.checked = ui.columns.has(col.key);
    box.addEventListener('change', () => {
      if (box.checked) ui.columns.add(col.key);
      else ui.columns.delete(col.key);
      savePrefs();
      store.mark('columns');
    });
    list.append(h('label', {}, box, t(col.label)));
  }
}

// ---- export ----

function download(text, type, name) {
  const url = URL.createObjectURL(new Blob([text], { type }));
  const a = h('a', { href: url, download: name });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), DOWNLOAD_URL_LIFETIME_MS);
}

function exportList(format) {
  // The file holds what the table shows, including a filter typed this frame.
  store.render();
  // Rows kept for devices that left are not in the list any more.
  const devices = store.view.map((id) => state.devices.get(id)).filter(Boolean);
  const now = new Date();
  const at = (id) => answers.lastAnswered(id);
  if (format === 'csv') {
    const answered = (id) => (at(id) === null ? '' : formatDateTime(new Date(at(id)).toISOString(), locale()));
    const text = toCsv(devices, { columns: table.columns.map((c) => c.key), t, locale: locale(), answered });
    download(text, 'text/csv;charset=utf-8', exportFileName(now, 'csv'));
  } else {
    const answered = (id) => (at(id) === null ? null : new Date(at(id)).toISOString());
    download(toJson(devices, { answered }), 'application/json', exportFileName(now, 'json'));
  }
}

// ---- controls ----

function wire() {
  const search = $('search');
  let searchTimer = null;
  const applySearch = () => {
    ui.query = search.value;
    store.mark('view');
  };
  search.addEventListener('input', () => {
    clearTimeout(searchTimer);
    searchTimer = setTimeout(applySearch, SEARCH_DEBOUNCE_MS);
  });
  search.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && search.value) {
      search.value = '';
      applySearch();
      e.stopPropagation();
    } else if (e.key === 'ArrowDown' || e.key === 'Enter') {
      clearTimeout(searchTimer);
      applySearch();
      // The first match gets the keyboard: the view has to be there now.
      store.render();
      if (store.view.length) {
        $('device-table').focus();
        table.setActive(store.view[0]);
      }
      e.preventDefault();
    }
  });
  for (const chip of document.querySelectorAll('[data-filter]')) {
    chip.addEventListener('click', () => {
      const f = chip.dataset.filter;
      if (ui.filters.has(f)) ui.filters.delete(f);
      else ui.filters.add(f);
      chip.setAttribute('aria-pressed', ui.filters.has(f) ? 'true' : 'false');
      store.mark('view');
    });
  }
  $('filter-nic').addEventListener('change', (e) => {
    ui.nic = e.target.value;
    store.mark('view');
  });
  $('btn-clear-filters').addEventListener('click', () => {
    ui.filters.clear();
    ui.query = '';
    ui.nic = '';
    search.value = '';
    $('filter-nic').value = '';
    for (const chip of document.querySelectorAll('[data-filter]')) chip.setAttribute('aria-pressed', 'false');
    store.mark('view');
  });

  $('btn-theme').addEventListener('click', () => {
    const next = document.documentElement.dataset.theme === 'dark' ? 'light' : 'dark';
    // Shown at once; the program's diff confirms it.
    applyTheme(next);
    outbox.send(requests.setTheme(next), { label: t('request.theme') });
    savePrefs({ theme: next });
  });
  $('language').addEventListener('change', (e) => {
    const code = e.target.value;
    outbox.send(requests.setLanguage(code), { label: t('request.language') });
    setLanguage(code);
  });

  const exportBtn = $('btn-export');
  const menu = $('menu-export');
  const closeMenu = () => {
    menu.hidden = true;
    exportBtn.setAttribute('aria-expanded', 'false');
  };
  exportBtn.addEventListener('click', () => {
    menu.hidden = !menu.hidden;
    exportBtn.setAttribute('aria-expanded', menu.hidden ? 'false' : 'true');
    if (!menu.hidden) menu.querySelector('button').focus();
  });
  menu.addEventListener('click', (e) => {
    const item = e.target.closest('[data-export]');
    if (!item) return;
    exportList(item.dataset.export);
    closeMenu();
    exportBtn.focus();
  });
  menu.addEventListener('keydown', (e) => {
    const items = [...menu.querySelectorAll('button')];
    const i = items.indexOf(document.activeElement);
    if (e.key === 'ArrowDown') items[(i + 1) % items.length].focus();
    else if (e.key === 'ArrowUp') items[(i - 1 + items.length) % items.length].focus();
    else if (e.key === 'Escape') {
      closeMenu();
      exportBtn.focus();
    } else return;
    e.preventDefault();
  });
  document.addEventListener('click', (e) => {
    if (!menu.hidden && !e.target.closest('.menu-wrap')) closeMenu();
  });

  $('btn-nics').addEventListener('click', () => {
    renderNics();
    $('dlg-nics').showModal();
  });
  $('btn-messages').addEventListener('click', () => {
    renderMessages();
    $('dlg-messages').showModal();
  });
  $('btn-columns').addEventListener('click', () => {
    renderColumnChooser();
    $('dlg-columns').showModal();
  });
  for (const dlg of document.querySelectorAll('dialog')) {
    dlg.addEventListener('click', (e) => {
      if (e.target === dlg || e.target.closest('[data-close]')) dlg.close();
    });
  }
  $('btn-reconnect').addEventListener('click', () => connection.reconnect());
  $('btn-batch').addEventListener('click', () => batchPanel.open());
  $('sb-batch').addEventListener('click', () => batchPanel.openReport());

  document.addEventListener('keydown', (e) => {
    const typing = e.target.closest('input, select, textarea, [contenteditable]');
    if (e.key === '/' && !typing && !e.ctrlKey && !e.metaKey) {
      e.preventDefault();
      search.focus();
      search.select();
    } else if (e.key === 'Escape' && details.isOpen && !document.querySelector('dialog[open]')) {
      // Left to the browser, this Escape would also cancel the question
      // opened for it.
      e.preventDefault();
      requestCloseDetails();
    }
  });
}

async function start() {
  wire();
  $('search').value = ui.query;
  for (const chip of document.querySelectorAll('[data-filter]')) chip.setAttribute('aria-pressed', ui.filters.has(chip.dataset.filter) ? 'true' : 'false');
  await setLanguage(isSafeLanguageCode(prefs.language) ? prefs.language : 'en').catch(() => {});
  store.mark('view');
  store.render();
  connection.connect();
}

// The saved language may not be in the (not yet known) list; keep it until the state says otherwise.
state.languages = isSafeLanguageCode(prefs.language) ? [...new Set(['en', prefs.language])] : ['en'];
start();
