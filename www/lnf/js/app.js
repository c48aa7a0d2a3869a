// Wires the page: the connection, the state, the table, the details panel,
// the toasts and the toolbar.

import { applyDiff, applyFullState, classifyFrame, createChanges, createState, hasDeviceChanges, changePhase } from './state.js';
import { buildView, updateView, createViewCache, viewAffected, matchesFilter, FILTERS } from './view.js';
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
import { deviceLabel, formatTime } from './present.js';
import { subnetText } from './ipv4.js';

const $ = (id) => document.getElementById(id);
const ANSWER_TIMEOUT_MS = 5000;
const PREFS_KEY = 'lanfinder.ui';

const state = createState();
let dictionaries = { en: {} };
let t = createTranslator({}, {});
let currentLanguage = null;
let languageLoad = null;
let connectionStatus = 'connecting';
let closedReason = '';
const favPending = new Map(); // id -> the value asked for
const sending = new Set(); // ids with a change request awaiting its answer
const pendingRequests = new Map(); // reqId -> { timer, onOk, onFail, label }
const tracker = new OutcomeTracker();
const viewCache = createViewCache();
const history = []; // the notifications of this page's life, newest last
const HISTORY_MAX = 200;
let selectedId = null;
let ctxStamp = 0;
let view = [];

const prefs = loadPrefs();
const ui = {
  query: '',
  filters: new Set(),
  nic: '',
  sortKey: prefs.sortKey && COLUMNS.some((c) => c.key === prefs.sortKey) ? prefs.sortKey : 'name',
  sortDir: prefs.sortDir === 'desc' ? 'desc' : 'asc',
  columns: new Set(Array.isArray(prefs.columns) ? prefs.columns : COLUMNS.map((c) => c.key)),
};

function loadPrefs() {
  try {
    return JSON.parse(localStorage.getItem(PREFS_KEY) || '{}') || {};
  } catch {
    return {};
  }
}

function savePrefs() {
  try {
    localStorage.setItem(
      PREFS_KEY,
      JSON.stringify({
        sortKey: ui.sortKey,
        sortDir: ui.sortDir,
        columns: [...ui.columns],
        theme: state.theme,
        language: currentLanguage,
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
    t: (...a) => t(...a),
    state: () => state,
    ctx: () => ({ stamp: ctxStamp, sending, favPending, selectedId }),
    onOpen: (id, focus) => openDetails(id, focus),
    onToggleFavorite: (id) => toggleFavorite(id),
    onSort: (key) => {
      if (ui.sortKey === key) ui.sortDir = ui.sortDir === 'asc' ? 'desc' : 'asc';
      else {
        ui.sortKey = key;
        ui.sortDir = 'asc';
      }
      table.setSort(ui.sortKey, ui.sortDir);
      savePrefs();
      refreshView();
    },
  },
);
table.setSort(ui.sortKey, ui.sortDir);
table.setColumns(ui.columns);

const details = new DetailsPanel({
  t: (...a) => t(...a),
  state: () => state,
  locale: () => currentLanguage || 'en',
  closed: () => connectionStatus !== 'open',
  favoriteShown: (id) => favoriteShown(id),
  translateStatus: (line) => translateMessage(line, t),
  onClose: () => closeDetails(),
  onOpen: (id) => openDetails(id, true),
  onToggleFavorite: (id) => toggleFavorite(id),
  onChange: (id, payload, name) => sendChange(id, payload, name),
  onLocalize: (id, cred, name) => sendLocalize(id, cred, name),
});

const toasts = new Toasts($('toasts'), (...a) => t(...a));

// A remote browser normally holds the access token in its cookie, which the
// same-origin upgrade carries; a page opened with ?token= hands it on too.
const accessToken = new URLSearchParams(location.search).get('token');
const connection = new Connection({
  url: `${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}/ws` + (accessToken ? `?token=${encodeURIComponent(accessToken)}` : ''),
  onFrames: handleFrames,
  onStatus: setConnectionStatus,
});

// ---- incoming documents ----

function handleFrames(frames) {
  const started = performance.now();
  const changes = createChanges();
  for (const frame of frames) {
    const kind = classifyFrame(frame.text);
    switch (kind.kind) {
      case 'full':
        applyFullState(state, kind.doc, changes);
        favPending.clear();
        break;
      case 'diff':
        applyDiff(state, kind.doc, changes);
        break;
      case 'answer':
        onAnswer(kind.doc);
        break;
      case 'closing':
        break;
      default:
        console.warn('lanfinder: ignored a frame that is not JSON', frame.text.slice(0, 200));
    }
  }
  afterChanges(changes);
  window.__lnf.frames += frames.length;
  const rendered = performance.now();
  window.__lnf.lastBatch = { arrived: frames.map((f) => f.at), rendered, work: rendered - started };
  document.dispatchEvent(new CustomEvent('lnf:rendered', { detail: window.__lnf.lastBatch }));
}

function afterChanges(changes) {
  for (const d of changes.removedDevices) {
    tracker.deviceLeft(d.id, deviceLabel(d, t));
    favPending.delete(d.id);
    sending.delete(d.id);
  }
  for (const [id, keys] of changes.updated) {
    const d = state.devices.get(id);
    if (keys.has('isMissing') && d.isMissing) tracker.deviceLeft(id, deviceLabel(d, t));
    if (keys.has('isFavorite')) favPending.delete(id);
  }
  if (changes.app.has('theme')) applyTheme(state.theme);
  if (changes.app.has('languages')) buildLanguageMenu();
  if (changes.app.has('language') && state.language !== currentLanguage) setLanguage(state.language);
  if (changes.app.has('nics')) buildNicFilter();

  if (viewAffected(changes, ui)) {
    view = updateView(state, view, changes, ui, viewCache);
    table.setView(view);
    updateRowCount();
  }
  if (hasDeviceChanges(changes) || changes.app.size) table.render();
  if (countsAffected(changes)) updateCounts();
  details.update(changes);
  updateBanners();
  updateStatusbar();
  updateEmpty();
  showNotifications(changes.notifications);
  if (changes.app.has('nics') && $('dlg-nics').open) renderNics();
}

function onAnswer(doc) {
  const pending = pendingRequests.get(doc.reqId);
  if (!pending) return;
  pendingRequests.delete(doc.reqId);
  clearTimeout(pending.timer);
  if (doc.status === 'OK') pending.onOk?.();
  else {
    toasts.show({ title: t('error.requestRejected', { request: pending.label }), level: 'error' });
    pending.onFail?.();
  }
}

function showNotifications(list) {
  if (!list.length) return;
  const items = list.map((n) => {
    const who = tracker.resolve(n.message);
    return { ...n, device: who ? who.name : '', deviceId: who ? who.deviceId : null };
  });
  for (const item of items) {
    const { kind, level } = describeMessage(item.message);
    if ((kind === 'change' || kind === 'either') && item.deviceId && item.deviceId === details.deviceId) details.outcome(level);
  }
  for (const item of items) {
    history.push({ ...item, at: item.creationTime || new Date().toISOString() });
    if (history.length > HISTORY_MAX) history.shift();
  }
  setText($('messages-count'), String(history.length));
  if ($('dlg-messages').open) renderMessages();
  for (const item of foldNotifications(items)) {
    const { level } = describeMessage(item.message);
    toasts.show({ title: translateMessage(item.message, t), level, device: item.device, count: item.count, message: item.message });
  }
}

function renderMessages() {
  const list = $('message-list');
  clear(list);
  $('message-empty').hidden = history.length > 0;
  for (let i = history.length - 1; i >= 0; i--) {
    const m = history[i];
    const { level } = describeMessage(m.message);
    list.append(
      h(
        'li',
        { class: level },
        h('time', { datetime: m.at, text: formatTime(m.at, currentLanguage || 'en') }),
        h('span', { class: 'msg-text', text: translateMessage(m.message, t) }),
        m.device ? h('span', { class: 'msg-device', text: m.device }) : null,
      ),
    );
  }
}

// ---- requests ----

function send(req, { label, onOk, onFail } = {}) {
  if (!connection.send(req)) {
    toasts.show({ title: t('error.notConnected'), level: 'error' });
    onFail?.();
    return false;
  }
  const timer = setTimeout(() => {
    pendingRequests.delete(req.reqId);
    // The application answers accepted requests only.
    if (connectionStatus === 'open') toasts.show({ title: t('error.requestRejected', { request: label || req.reqType }), level: 'error' });
    onFail?.();
  }, ANSWER_TIMEOUT_MS);
  pendingRequests.set(req.reqId, { timer, onOk, onFail, label: label || req.reqType });
  return true;
}

function favoriteShown(id) {
  if (favPending.has(id)) return favPending.get(id);
  const d = state.devices.get(id);
  return Boolean(d && d.isFavorite);
}

function toggleFavorite(id) {
  const d = state.devices.get(id);
  if (!d || connectionStatus !== 'open') return;
  const want = !favoriteShown(id);
  favPending.set(id, want);
  tracker.expect('favorite', id, deviceLabel(d, t), 10000);
  const settle = () => {
    // No diff follows when the value did not change; show the real value again.
    setTimeout(() => {
      if (favPending.get(id) === want) {
        favPending.delete(id);
        redrawDevice(id);
      }
    }, 3000);
  };
  send(requests.setFavorite(id, want), {
    label: t('request.favorite'),
    onOk: settle,
    onFail: () => {
      favPending.delete(id);
      redrawDevice(id);
    },
  });
  redrawDevice(id);
}

function sendChange(id, payload, name) {
  const req = requests.changeDevice(payload);
  sending.add(id);
  const ok = send(req, {
    label: t('request.change'),
    onOk: () => {
      sending.delete(id);
      tracker.expect('change', id, name, 130000);
      if (details.deviceId === id) details.requestAccepted();
      redrawDevice(id);
    },
    onFail: () => {
      sending.delete(id);
      if (details.deviceId === id) details.requestFailed();
      redrawDevice(id);
    },
  });
  if (!ok) sending.delete(id);
  redrawDevice(id);
  return ok;
}

function sendLocalize(id, cred, name) {
  const button = $('d-localize');
  button.disabled = true;
  const done = () => details.render();
  send(requests.localize(id, cred.username, cred.password), {
    label: t('request.localize'),
    onOk: () => {
      tracker.expect('localize', id, name, 15000);
      toasts.show({ title: t('toast.localizeSent'), level: 'info', device: name });
      done();
    },
    onFail: done,
  });
}

function redrawDevice(id) {
  ctxStamp += 1;
  table.render();
  if (details.deviceId === id) details.render();
}

// ---- view ----

function refreshView({ render = true } = {}) {
  view = buildView(state, ui, viewCache);
  table.setView(view);
  if (render) table.render();
  updateRowCount();
  updateEmpty();
}

function updateRowCount() {
  const total = state.devices.size;
  setText($('row-count'), view.length === total ? tn('count.devices', total) : t('count.showing', { shown: view.length, total }));
}

const COUNTED_KEYS = new Set(['isFavorite', 'isMissing', 'isAccessible', 'deviceState', 'shouldProcess', 'isProcessing', 'isRebooting', 'conflict', 'ip']);

function countsAffected(changes) {
  if (changes.full || changes.added.size || changes.removed.size) return true;
  for (const keys of changes.updated.values()) for (const k of keys) if (COUNTED_KEYS.has(k)) return true;
  return false;
}

function updateCounts() {
  const counts = Object.fromEntries(FILTERS.map((f) => [f, 0]));
  for (const [id, d] of state.devices) for (const f of FILTERS) if (matchesFilter(state, id, d, f)) counts[f] += 1;
  for (const el of document.querySelectorAll('[data-count]')) setText(el, counts[el.dataset.count] ? String(counts[el.dataset.count]) : '');
  updateRowCount();
}

function updateEmpty() {
  const empty = $('empty');
  const show = view.length === 0;
  empty.hidden = !show;
  if (!show) return;
  const filtered = state.devices.size > 0;
  $('btn-clear-filters').hidden = !filtered;
  empty.querySelector('.radar').hidden = filtered || connectionStatus !== 'open' || !state.protocolState.available;
  if (!state.loaded) {
    setText($('empty-title'), connectionStatus === 'closed' ? t('empty.closedTitle') : t('empty.connectingTitle'));
    setText($('empty-text'), connectionStatus === 'closed' ? t('closed.text') : '');
  } else if (filtered) {
    setText($('empty-title'), t('empty.noMatchTitle'));
    setText($('empty-text'), t('empty.noMatchText'));
  } else {
    setText($('empty-title'), t('empty.searchingTitle'));
    setText($('empty-text'), state.nics.length ? t('empty.searchingText') : t('nics.noneText'));
  }
}

function tn(key, n) {
  let rule = 'other';
  try {
    rule = new Intl.PluralRules(currentLanguage || 'en').select(n);
  } catch {
    // unknown locale: "other"
  }
  const k = t.has(`${key}.${rule}`) ? `${key}.${rule}` : `${key}.other`;
  return t(k, { n: n.toLocaleString(currentLanguage || 'en') });
}

// ---- details ----

function openDetails(id, focus) {
  if (!state.devices.has(id)) return;
  selectedId = id;
  table.setActive(id, { scroll: focus });
  details.open(id, { focus });
  ctxStamp += 1;
  table.render();
}

function closeDetails() {
  const had = details.isOpen;
  details.close();
  selectedId = null;
  ctxStamp += 1;
  table.render();
  if (had) $('device-table').focus();
}

// ---- connection, banners, status bar ----

function setConnectionStatus(status, { reason = '' } = {}) {
  connectionStatus = status;
  closedReason = reason;
  document.body.classList.toggle('is-open', status === 'open');
  document.body.classList.toggle('is-connecting', status === 'connecting');
  document.body.classList.toggle('is-closed', status === 'closed');
  if (status === 'closed') {
    for (const p of pendingRequests.values()) clearTimeout(p.timer);
    pendingRequests.clear();
    sending.clear();
    favPending.clear();
    if (details.mode !== 'edit') details.requestFailed();
  }
  updateBanners();
  updateStatusbar();
  updateEmpty();
  if (details.isOpen) details.render();
  ctxStamp += 1;
  table.render();
}

function updateBanners() {
  const closed = connectionStatus === 'closed';
  $('banner-closed').hidden = !closed;
  if (closed) {
    setText($('closed-title'), t(closedReason === 'failed' ? 'closed.failedTitle' : closedReason === 'dropped' ? 'closed.droppedTitle' : 'closed.title'));
    setText($('closed-text'), t('closed.text'));
  }
  const protocolDown = state.loaded && !closed && state.protocolState.available === false;
  $('banner-protocol').hidden = !protocolDown;
  setText($('protocol-details'), state.protocolState.details);
  $('protocol-details').hidden = !state.protocolState.details;
  $('banner-nics').hidden = !(state.loaded && !closed && state.nics.length === 0);
}

function updateStatusbar() {
  const key = connectionStatus === 'open' ? 'status.connected' : connectionStatus === 'connecting' ? 'status.connecting' : 'status.closed';
  setText($('sb-connection-text'), t(key));
  const scanner = state.autoScanner;
  let scan = '';
  if (state.loaded && connectionStatus === 'open') {
    const every = Math.max(0.1, Number(scanner.scanIntervalMs) / 1000 || 1);
    // The program keeps its scanner switched on while the protocol is down, but sends nothing then.
    const searching = scanner.isActive && state.protocolState.available !== false;
    scan = searching ? t('status.scanning', { s: every.toLocaleString(currentLanguage || 'en') }) : t('status.notScanning');
    const last = formatTime(scanner.lastScanTime, currentLanguage || 'en');
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
  currentLanguage = wanted;
  const load = (async () => {
    try {
      if (!dictionaries.en || !Object.keys(dictionaries.en).length) dictionaries.en = await loadDictionary('en');
      if (!dictionaries[wanted]) dictionaries[wanted] = await loadDictionary(wanted);
    } catch (e) {
      console.warn('lanfinder: translations not loaded', e);
    }
  })();
  languageLoad = load;
  await load;
  if (languageLoad !== load) return;
  t = createTranslator(dictionaries[wanted] || {}, dictionaries.en || {});
  document.documentElement.lang = wanted;
  document.documentElement.dataset.language = wanted;
  translateStatic();
  buildLanguageMenu();
  buildNicFilter();
  table.relabel();
  ctxStamp += 1;
  table.render();
  details.relabel();
  updateRowCount();
  updateCounts();
  updateBanners();
  updateStatusbar();
  updateEmpty();
  savePrefs();
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
    select.append(h('option', { value: code, text: languageName(code, dictionaries[code]) }));
  }
  select.value = currentLanguage || state.language;
}

function buildNicFilter() {
  const select = $('filter-nic');
  const keep = select.value;
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
    refreshView();
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
      table.setColumns(ui.columns);
      savePrefs();
      table.render();
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
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

function exportList(format) {
  const devices = view.map((id) => state.devices.get(id));
  const now = new Date();
  if (format === 'csv') download(toCsv(devices), 'text/csv;charset=utf-8', exportFileName(now, 'csv'));
  else download(toJson(devices), 'application/json', exportFileName(now, 'json'));
}

// ---- controls ----

function wire() {
  const search = $('search');
  let searchTimer = null;
  search.addEventListener('input', () => {
    clearTimeout(searchTimer);
    searchTimer = setTimeout(() => {
      ui.query = search.value;
      refreshView();
    }, 80);
  });
  search.addEventListener('keydown', (e) => {
    if (e.key === 'Escape' && search.value) {
      search.value = '';
      ui.query = '';
      refreshView();
      e.stopPropagation();
    } else if (e.key === 'ArrowDown' || e.key === 'Enter') {
      clearTimeout(searchTimer);
      ui.query = search.value;
      refreshView();
      if (view.length) {
        $('device-table').focus();
        table.setActive(view[0]);
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
      refreshView();
    });
  }
  $('filter-nic').addEventListener('change', (e) => {
    ui.nic = e.target.value;
    refreshView();
  });
  $('btn-clear-filters').addEventListener('click', () => {
    ui.filters.clear();
    ui.query = '';
    ui.nic = '';
    search.value = '';
    $('filter-nic').value = '';
    for (const chip of document.querySelectorAll('[data-filter]')) chip.setAttribute('aria-pressed', 'false');
    refreshView();
  });

  $('btn-theme').addEventListener('click', () => {
    const next = document.documentElement.dataset.theme === 'dark' ? 'light' : 'dark';
    applyTheme(next);
    send(requests.setTheme(next), { label: t('request.theme') });
    savePrefsTheme(next);
  });
  $('language').addEventListener('change', (e) => {
    const code = e.target.value;
    send(requests.setLanguage(code), { label: t('request.language') });
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

  document.addEventListener('keydown', (e) => {
    const typing = e.target.closest('input, select, textarea, [contenteditable]');
    if (e.key === '/' && !typing && !e.ctrlKey && !e.metaKey) {
      e.preventDefault();
      search.focus();
      search.select();
    } else if (e.key === 'Escape' && details.isOpen && !document.querySelector('dialog[open]')) {
      closeDetails();
    }
  });
}

function savePrefsTheme(theme) {
  const saved = state.theme;
  state.theme = theme;
  savePrefs();
  state.theme = saved;
}

window.__lnf = { frames: 0, lastBatch: null, state };

async function start() {
  wire();
  await setLanguage(isSafeLanguageCode(prefs.language) ? prefs.language : 'en').catch(() => {});
  updateEmpty();
  connection.connect();
}

// The saved language may not be in the (not yet known) list; keep it until the state says otherwise.
state.languages = isSafeLanguageCode(prefs.language) ? [...new Set(['en', prefs.language])] : ['en'];
start();
