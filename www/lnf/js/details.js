// The details panel of one device: what it is, what state it is in, and the
// form that renames it and changes its address settings.

import { h, icon, clear, setText } from './dom.js';
import { badgesOf, displayName, deviceLabel, formatDateTime, methodLabel, safeWebUrl } from './present.js';
import { effectiveState, extraLines, withoutEffective } from './effective.js';
import { copyText } from './copy.js';
import { changePhase, conflictPartners, nicOfDevice } from './state.js';
import { buildChange, cancelPendingChange, editedFields, formValuesOf, isChanged } from './changeform.js';
import { subnetText } from './ipv4.js';
import { offeredAddress } from './offer.js';
import { refusalOf } from './notify.js';
import { CONFIG_TIMEOUT_MS, PENDING_STUCK_MS } from './timeouts.js';

const COPYABLE = new Set(['col.ip', 'col.mac', 'col.serialNumber']);
const FIELD_INPUTS = { name: 'f-name', ip: 'f-ip', subnetMask: 'f-mask', defaultGateway: 'f-gateway' };
const FIELD_ERRORS = { ip: 'e-ip', subnetMask: 'e-mask', defaultGateway: 'e-gateway', credentials: 'e-credentials' };

// Device answers that are about the login: told at the login fields.
const LOGIN_REFUSALS = new Map([
  ['Not authorized', 'error.notAuthorizedAtLogin'],
  ['Invalid rights', 'error.invalidRightsAtLogin'],
]);

export class DetailsPanel {
  constructor(hooks) {
    this.hooks = hooks;
    this.$ = (id) => document.getElementById(id);
    this.root = this.$('details');
    this.form = this.$('d-form');
    this.deviceId = null;
    this.dirty = new Set();
    this.mode = 'edit'; // edit | sending | waiting
    this.modeSince = 0;
    this.seenBusy = false;
    this.phaseSince = new Map(); // id -> when this browser saw the phase begin
    this.credentials = new Map(); // id -> { username, password }, for this page's life only
    this.taken = new Set(); // addresses the application found a host on, for this page's life
    this.ticker = null;

    this.$('d-close').addEventListener('click', () => this.hooks.onRequestClose());
    this.$('d-fav').addEventListener('click', () => this.deviceId && this.hooks.onToggleFavorite(this.deviceId));
    this.$('d-localize').addEventListener('click', () => this.localize());
    this.$('f-reset').addEventListener('click', () => this.resetForm());
    this.$('f-cancel-pending').addEventListener('click', () => this.cancelPending());
    this.form.addEventListener('submit', (e) => {
      e.preventDefault();
      this.submit();
    });
    this.form.addEventListener('input', (e) => {
      const field = e.target.name;
      if (field === 'username' || field === 'password') {
        this.saveCredentials();
        this.showError('credentials', null);
        return;
      }
      if (field === 'method') this.onMethodChange();
      else if (field) {
        this.dirty.add(field);
        if (this.$(FIELD_INPUTS[field])?.getAttribute('aria-invalid') === 'true') this.validateLive();
      }
      this.showOutcome(null);
      this.refreshEdits();
    });
    this.form.addEventListener('focusout', (e) => {
      if (['ip', 'subnetMask', 'defaultGateway'].includes(e.target.name) && this.dirty.has(e.target.name)) this.validateLive();
    });
  }

  get isOpen() {
    return this.deviceId !== null;
  }

  device() {
    return this.deviceId === null ? null : this.hooks.state().devices.get(this.deviceId) || null;
  }

  open(id, { focus = false } = {}) {
    if (this.deviceId !== id) {
      this.deviceId = id;
      this.dirty.clear();
      this.setMode('edit');
      this.clearErrors();
      this.showOutcome(null);
      const cred = this.credentials.get(id) || { username: '', password: '' };
      this.$('f-user').value = cred.username;
      this.$('f-password').value = cred.password;
      this.root.scrollTop = 0;
    }
    this.root.hidden = false;
    this.render();
    if (focus) this.root.focus();
  }

  close() {
    this.deviceId = null;
    this.root.hidden = true;
    clearInterval(this.ticker);
    this.ticker = null;
  }

  /** Called after each batch of documents. */
  update(changes) {
    if (this.deviceId === null) return;
    const d = this.device();
    if (!d) {
      this.hooks.onClose();
      return;
    }
    const phase = changePhase(d);
    this.trackPhase(this.deviceId, phase);
    // Only the program ends the wait: with the device's answer, its
    // restart seen through, or its own time-out. A timer here would drop a
    // request that is still going on and leave the user without an outcome.
    if (this.mode === 'waiting') {
      if (phase !== 'idle') this.seenBusy = true;
      else if (this.seenBusy) this.finishWaiting(true);
    }
    if (changes.full || changes.updated.has(this.deviceId) || changes.app.has('nics') || changes.removed.size || changes.added.size) this.render();
    // A scan moves only the last answer: the rest keeps its nodes, so a selection in it survives.
    else if (changes.app.has('autoScanner')) this.renderAnswered();
  }

  trackPhase(id, phase) {
    const prev = this.phaseSince.get(id);
    if (phase === 'idle') this.phaseSince.delete(id);
    else if (!prev || prev.phase !== phase) this.phaseSince.set(id, { phase, at: Date.now() });
  }

  setMode(mode) {
    this.mode = mode;
    this.modeSince = Date.now();
    if (mode !== 'waiting') this.seenBusy = false;
  }

  /** The application answered our change request. */
  requestAccepted() {
    if (this.mode === 'sending') this.setMode('waiting');
    this.render();
  }

  /** The change did not reach a device; `text` says why, in the form too. */
  requestFailed(text = null) {
    this.setMode('edit');
    this.render();
    if (text) this.showOutcome(text, 'error');
  }

  /**
   * The outcome of a request for this device arrived (`message` as the
   * program posts it). It stays in the form until the user edits again; a
   * refused login is told at the login fields.
   */
  outcome(message, { level, kind }) {
    const refusal = refusalOf(message);
    const ip = this.values().ip.trim();
    if ((kind === 'change' || kind === 'either') && (this.mode === 'waiting' || this.mode === 'sending')) this.finishWaiting(level === 'success');
    // The address a host was found on is not offered again.
    if (message === 'Address in use' && ip) {
      this.taken.add(ip);
      this.render();
    }
    this.showOutcome(this.hooks.translateStatus(message), level);
    const login = LOGIN_REFUSALS.get(message);
    if (login) {
      this.$('f-credentials').hidden = false;
      this.showError('credentials', login);
    }
    if (refusal) this.showError(refusal.field, refusal.key, refusal.params);
  }

  showOutcome(text, level = 'info') {
    const el = this.$('f-outcome');
    el.hidden = !text;
    el.className = `form-outcome ${level}`;
    setText(el, text || '');
  }

  /** Whether the form holds values the device does not have. */
  hasEdits() {
    const d = this.device();
    return Boolean(d) && editedFields(d, this.values()).length > 0;
  }

  /** Edits that closing the panel or opening another device would lose. */
  hasUnsavedEdits() {
    return this.isOpen && this.mode === 'edit' && this.hasEdits();
  }

  refreshEdits() {
    const d = this.device();
    if (!d) return;
    this.$('f-reset').disabled = this.$('f-apply').disabled || !this.hasEdits();
    this.updateSummary();
  }

  finishWaiting(success) {
    this.setMode('edit');
    if (success) this.dirty.clear();
    this.render();
  }

  saveCredentials() {
    if (this.deviceId === null) return;
    this.credentials.set(this.deviceId, { username: this.$('f-user').value, password: this.$('f-password').value });
  }

  credentialsFor(id) {
    return this.credentials.get(id) || { username: '', password: '' };
  }

  relabel() {
    if (this.deviceId !== null) this.render();
  }

  render() {
    const d = this.device();
    if (!d) return;
    const { t } = this.hooks;
    const st = this.hooks.state();
    const id = this.deviceId;
    const name = displayName(d, t);
    setText(this.$('d-title'), name);
    this.$('d-title').classList.toggle('muted', !d.name);
    setText(this.$('d-subtitle'), [d.type, d.articleNumber, d.serialNumber].filter(Boolean).join(' · '));

    const eff = effectiveState(d);
    const badges = this.$('d-badges');
    clear(badges);
    for (const b of withoutEffective(badgesOf(st, id, d, { sending: this.mode === 'sending', includeFavorite: true }), eff)) {
      badges.append(h('span', { class: `badge ${b.cls}`, title: t(b.title) }, b.icon ? icon(b.icon) : null, t(b.key)));
    }

    const fav = this.hooks.favoriteShown(id);
    const favBtn = this.$('d-fav');
    favBtn.setAttribute('aria-pressed', fav ? 'true' : 'false');
    setText(this.$('d-fav-label'), t(fav ? 'favorite.remove' : 'favorite.add'));

    const loc = this.$('d-localize');
    loc.disabled = Boolean(d.isMissing) || !d.supportsLocalize || this.hooks.closed();
    loc.title = !d.supportsLocalize ? t('details.localizeUnsupported') : d.isMissing ? t('details.missingShort') : t('details.localizeTitle');
    // A disabled control says why beside it, not only in its tooltip.
    const why = this.hooks.closed() ? 'why.closed' : d.isMissing ? 'why.missing' : !d.supportsLocalize ? 'why.localizeUnsupported' : null;
    setText(this.$('d-actions-why'), why ? t(why) : '');
    this.$('d-actions-why').hidden = !why;

    const web = this.$('d-web');
    const url = safeWebUrl(d.url);
    web.hidden = !url;
    if (url) {
      web.href = url;
      web.title = url;
    } else web.removeAttribute('href');

    this.renderAlerts(d, st);

    const dot = this.$('d-state-dot');
    dot.className = `dot ${eff.key}`;
    const label = t(eff.label);
    const own = eff.own ? t(`state.${eff.own}`) : '';
    setText(this.$('d-state'), label);
    setText(this.$('d-own-state'), own ? t('effective.own', { state: own }) : '');
    const messages = this.$('d-messages');
    clear(messages);
    const lines = extraLines(
      (d.statusStringDetails || []).map((line) => this.hooks.translateStatus(line)),
      [label, own],
    );
    for (const line of lines) messages.append(h('li', { text: line }));

    this.renderInfo(d, st);
    this.renderForm(d, st);
  }

  renderAlerts(d, st) {
    const { t } = this.hooks;
    const box = this.$('d-alerts');
    clear(box);
    if (d.isMissing) {
      box.append(h('div', { class: 'alert warn', role: 'note' }, icon('alert'), h('div', { class: 'alert-body' }, h('p', { text: t('details.missing') }))));
    } else if (d.isAccessible === false) {
      const nic = nicOfDevice(st, d);
      const address = nic && Array.isArray(nic.addresses) ? nic.addresses.find((a) => a && a.ip === d.ipOfAssociatedNic) : null;
      const body = h('div', { class: 'alert-body' }, h('p', { text: t('details.unreachable', { ip: d.ip || '—' }) }));
      if (address) {
        const offer = offeredAddress(st, d, this.taken);
        body.append(h('p', { text: t('details.unreachableFix', { subnet: subnetText(address.ip, address.subnetMask), card: nic.name || address.ip }) }));
        if (offer && d.supportsPersistentIP !== false) {
          const use = h('button', { type: 'button', class: 'btn', text: t('details.useAddress', { ip: offer.ip }) });
          use.disabled = changePhase(d) !== 'idle' || this.mode !== 'edit';
          use.addEventListener('click', () =>
            this.prefill({ method: 'PersistentIP', ip: offer.ip, subnetMask: offer.subnetMask, defaultGateway: offer.defaultGateway }),
          );
          body.append(h('div', {}, use));
        }
      } else {
        body.append(h('p', { text: t('details.unreachableNoCard') }));
      }
      box.append(h('div', { class: 'alert warn', role: 'note' }, icon('alert'), body));
    }
    const partners = conflictPartners(st, this.deviceId);
    if (partners.length) {
      const list = h('p', {});
      partners.forEach((pid, i) => {
        const other = st.devices.get(pid);
        if (i) list.append(', ');
        const link = h('button', { type: 'button', class: 'linklike', text: deviceLabel(other, t) });
        link.addEventListener('click', () => this.hooks.onOpen(pid));
        list.append(link);
      });
      box.append(
        h(
          'div',
          { class: 'alert err', role: 'note' },
          icon('alert'),
          h('div', { class: 'alert-body' }, h('p', { text: t('details.conflict', { ip: d.ip }) }), list),
        ),
      );
    }
  }

  renderInfo(d, st) {
    const { t } = this.hooks;
    const dl = this.$('d-info');
    clear(dl);
    const nic = nicOfDevice(st, d);
    const supports = [d.supportsDHCP && t('method.dhcp'), d.supportsPersistentIP && t('method.fixed'), d.supportsLocalize && t('details.localize')].filter(
      Boolean,
    );
    const rows = [
      ['details.lastAnswered', this.answeredText()],
      ['col.ip', d.ip, true],
      ['col.subnetMask', d.subnetMask, true],
      ['col.defaultGateway', d.defaultGateway, true],
      ['col.networkMethod', methodLabel(d.networkMethod, t)],
      ['col.mac', d.mac, true],
      ['col.nic', nic ? `${nic.name} (${d.ipOfAssociatedNic})` : d.ipOfAssociatedNic, true],
      ['col.type', d.type],
      ['col.articleNumber', d.articleNumber, true],
      ['col.serialNumber', d.serialNumber, true],
      ['details.manufacturer', d.manufacturer],
      ['details.manufactureDate', d.manufactureDate],
      ['col.fwVersion', d.fwVersion],
      ['col.hwVersion', d.hwVersion],
      ['details.supports', supports.length ? supports.join(', ') : t('details.none')],
      ['details.id', d.id, true],
    ];
    for (const [key, value, mono] of rows) {
      if (value === undefined || value === null || value === '') continue;
      const dd = h('dd', { class: mono ? 'mono' : null, dataset: { key } }, h('span', { class: 'value', text: String(value) }));
      if (COPYABLE.has(key)) {
        const label = t('details.copy', { what: t(key) });
        const button = h(
          'button',
          { type: 'button', class: 'btn ghost icon-only copy', title: label, 'aria-label': label, dataset: { copy: key } },
          icon('copy'),
        );
        button.addEventListener('click', () => this.copy(button, String(value)));
        dd.append(button);
      }
      dl.append(h('dt', { text: t(key) }), dd);
    }
  }

  answeredText() {
    const at = this.hooks.lastAnswered(this.deviceId);
    return at === null ? '' : formatDateTime(new Date(at).toISOString(), this.hooks.locale());
  }

  renderAnswered() {
    const value = this.$('d-info').querySelector('dd[data-key="details.lastAnswered"] .value');
    if (value) setText(value, this.answeredText());
  }

  async copy(button, text) {
    const ok = await copyText(text);
    button.classList.toggle('copied', ok);
    button.title = this.hooks.t(ok ? 'details.copied' : 'details.copyFailed');
  }

  renderForm(d) {
    const { t } = this.hooks;
    const phase = changePhase(d);
    const busy = phase !== 'idle' || this.mode !== 'edit';
    const locked = busy || Boolean(d.isMissing) || this.hooks.closed();
    const cur = formValuesOf(d);

    // Fields the user has not touched follow the device's live values.
    if (!this.dirty.has('name')) this.$('f-name').value = cur.name;
    if (!this.dirty.has('method')) this.setMethod(cur.method);
    const method = this.method();
    const dhcp = method === 'DHCP';
    for (const field of ['ip', 'subnetMask', 'defaultGateway']) {
      const input = this.$(FIELD_INPUTS[field]);
      if (!this.dirty.has(field) || dhcp) input.value = cur[field];
      input.disabled = locked || dhcp || method === 'Unknown';
    }
    this.$('f-name').disabled = locked;
    const dhcpRadio = this.$('f-dhcp');
    const fixedRadio = this.$('f-fixed');
    dhcpRadio.disabled = locked || (!d.supportsDHCP && cur.method !== 'DHCP');
    fixedRadio.disabled = locked || (!d.supportsPersistentIP && cur.method !== 'PersistentIP');
    dhcpRadio.closest('label').title = !d.supportsDHCP ? t('form.dhcpUnsupported') : '';
    fixedRadio.closest('label').title = !d.supportsPersistentIP ? t('form.fixedUnsupported') : '';
    setText(this.$('f-dhcp-why'), d.supportsDHCP ? '' : t('why.unsupported'));
    setText(this.$('f-fixed-why'), d.supportsPersistentIP ? '' : t('why.unsupported'));
    // The panel's actions line says it for a missing device or a closed connection.
    const lockedWhy = busy && !d.isMissing && !this.hooks.closed() ? 'why.busy' : null;
    setText(this.$('f-locked-why'), lockedWhy ? t(lockedWhy) : '');
    this.$('f-locked-why').hidden = !lockedWhy;
    this.$('f-dhcp-note').hidden = !dhcp;

    const cred = this.$('f-credentials');
    cred.hidden = !d.isAuthentication;
    this.$('f-user').disabled = locked && this.mode !== 'edit';
    this.$('f-password').disabled = locked && this.mode !== 'edit';

    this.$('f-apply').disabled = locked;
    this.$('f-reset').disabled = locked || !this.hasEdits();
    this.$('f-cancel-pending').hidden = !(phase === 'pending' && this.mode === 'edit' && !d.isMissing);
    this.$('f-cancel-pending').disabled = this.hooks.closed();

    this.renderProgress(d, phase);
    this.updateSummary();
  }

  renderProgress(d, phase) {
    const { t } = this.hooks;
    const box = this.$('f-progress');
    const bar = box.querySelector('.progress-bar');
    const fill = this.$('f-progress-fill');
    let text = '';
    let fraction = null;
    const since = this.phaseSince.get(this.deviceId);
    if (this.mode === 'sending') text = t('progress.sending');
    else if (phase === 'pending') {
      text = t('progress.pending');
      if (since && Date.now() - since.at > PENDING_STUCK_MS) text = t('progress.pendingStuck');
    } else if (phase === 'processing' || phase === 'rebooting') {
      const started = Date.parse(d.processingStartedTime || '') || (since ? since.at : NaN);
      if (!Number.isNaN(started)) fraction = Math.min(1, Math.max(0, (Date.now() - started) / CONFIG_TIMEOUT_MS));
      text = t(phase === 'processing' ? 'progress.processing' : 'progress.rebooting');
    } else if (this.mode === 'waiting') text = t('progress.waiting');

    box.hidden = !text;
    setText(this.$('f-progress-text'), text);
    bar.classList.toggle('indeterminate', fraction === null);
    fill.style.width = fraction === null ? '' : `${Math.round(fraction * 100)}%`;
    if (text && !this.ticker) this.ticker = setInterval(() => this.tick(), 1000);
    if (!text && this.ticker) {
      clearInterval(this.ticker);
      this.ticker = null;
    }
  }

  tick() {
    const d = this.device();
    if (!d) return;
    this.renderProgress(d, changePhase(d));
  }

  method() {
    const checked = this.form.querySelector('input[name="method"]:checked');
    return checked ? checked.value : 'Unknown';
  }

  setMethod(method) {
    this.$('f-dhcp').checked = method === 'DHCP';
    this.$('f-fixed').checked = method === 'PersistentIP';
  }

  onMethodChange() {
    const d = this.device();
    if (!d) return;
    this.dirty.add('method');
    if (this.method() === 'DHCP') {
      for (const f of ['ip', 'subnetMask', 'defaultGateway']) this.dirty.delete(f);
      this.clearErrors();
    }
    this.renderForm(d);
  }

  values() {
    return {
      name: this.$('f-name').value,
      method: this.method(),
      ip: this.$('f-ip').value,
      subnetMask: this.$('f-mask').value,
      defaultGateway: this.$('f-gateway').value,
    };
  }

  prefill(values) {
    const d = this.device();
    if (!d) return;
    this.setMethod(values.method);
    this.dirty.add('method');
    // A refusal shown at a field was about its old value; left until the
    // field loses focus, it would vanish under the pointer on the way to
    // Apply and move the button away from the click.
    for (const f of ['ip', 'subnetMask', 'defaultGateway']) {
      this.$(FIELD_INPUTS[f]).value = values[f];
      this.dirty.add(f);
      this.showError(f, null);
    }
    this.renderForm(d);
    this.$('f-ip').focus();
  }

  resetForm() {
    this.dirty.clear();
    this.clearErrors();
    this.showOutcome(null);
    const d = this.device();
    if (d) this.renderForm(d);
  }

  clearErrors() {
    for (const f of Object.keys(FIELD_ERRORS)) this.showError(f, null);
    this.$('f-name').removeAttribute('aria-invalid');
    setText(this.$('f-summary'), '');
  }

  showError(field, key, params) {
    const { t } = this.hooks;
    const el = this.$(FIELD_ERRORS[field]);
    if (el) setText(el, key ? t(key, params) : '');
    const inputs = field === 'credentials' ? [this.$('f-user'), this.$('f-password')] : [this.$(FIELD_INPUTS[field])];
    for (const input of inputs) {
      if (!input) continue;
      if (key) input.setAttribute('aria-invalid', 'true');
      else input.removeAttribute('aria-invalid');
    }
  }

  check() {
    const d = this.device();
    const st = this.hooks.state();
    const cred = this.credentialsFor(this.deviceId);
    const others = [];
    for (const [id, o] of st.devices) if (id !== d.id && !o.isMissing) others.push({ id, name: o.name, label: deviceLabel(o, this.hooks.t), ip: o.ip });
    return buildChange(d, this.values(), { username: cred.username, password: cred.password, nics: st.nics, others });
  }

  validateLive() {
    if (!this.device()) return;
    const result = this.check();
    for (const f of ['ip', 'subnetMask', 'defaultGateway']) {
      this.showError(f, this.dirty.has(f) ? result.errors[f] : null, result.errorParams[f]);
    }
  }

  updateSummary() {
    const d = this.device();
    if (!d || this.mode !== 'edit' || changePhase(d) !== 'idle') {
      setText(this.$('f-summary'), '');
      return;
    }
    const { t } = this.hooks;
    const result = this.check();
    const parts = [];
    if (!isChanged(d, this.values())) parts.push(t('form.noChanges'));
    for (const w of result.warnings) parts.push(t(w, result.warningParams && result.warningParams[w]));
    setText(this.$('f-summary'), parts.join(' '));
  }

  submit() {
    const d = this.device();
    if (!d || this.mode !== 'edit' || changePhase(d) !== 'idle' || d.isMissing) return;
    this.saveCredentials();
    const result = this.check();
    for (const f of ['ip', 'subnetMask', 'defaultGateway', 'credentials']) this.showError(f, result.errors[f], result.errorParams[f]);
    if (result.errors.name) this.$('f-name').setAttribute('aria-invalid', 'true');
    if (!result.request) {
      if (result.errors.form && Object.keys(result.errors).length === 1) {
        setText(this.$('f-summary'), this.hooks.t('form.noChanges'));
        return;
      }
      const first = ['name', 'ip', 'subnetMask', 'defaultGateway'].find((f) => result.errors[f]);
      if (first) this.$(FIELD_INPUTS[first]).focus();
      else if (result.errors.credentials) this.$('f-user').focus();
      return;
    }
    this.showOutcome(null);
    this.setMode('sending');
    const sent = this.hooks.onChange(d.id, result.request, deviceLabel(d, this.hooks.t));
    if (!sent) this.setMode('edit');
    this.render();
  }

  // The credentials typed for this device, or null (with the form asking for
  // them) when the device needs a login and none was given.
  credentialsOrAsk(d) {
    this.saveCredentials();
    const cred = this.credentialsFor(d.id);
    if (d.isAuthentication && !cred.username.trim()) {
      this.showError('credentials', 'error.credentialsNeeded');
      this.$('f-user').focus();
      return null;
    }
    return cred;
  }

  cancelPending() {
    const d = this.device();
    if (!d) return;
    const cred = this.credentialsOrAsk(d);
    if (!cred) return;
    this.dirty.clear();
    this.setMode('sending');
    if (!this.hooks.onChange(d.id, cancelPendingChange(d, cred), deviceLabel(d, this.hooks.t))) this.setMode('edit');
    this.render();
  }

  localize() {
    const d = this.device();
    if (!d) return;
    const cred = this.credentialsOrAsk(d);
    if (!cred) return;
    this.hooks.onLocalize(d.id, cred, deviceLabel(d, this.hooks.t));
  }
}
