// Short messages in the corner. Errors stay longer; a toast stays while the
// pointer or the keyboard focus is on it. Messages with the same key (one
// device's comings and goings, one outcome repeated) share one toast: it
// shows the latest text and counts how often that text came.

import { h, icon, clear } from './dom.js';

const ICONS = { success: 'check', error: 'alert', warning: 'alert', info: 'info' };
const LIFETIME = { success: 6000, info: 6000, warning: 9000, error: 14000 };
const MAX_VISIBLE = 6;

export class Toasts {
  constructor(container, t) {
    this.container = container;
    this.t = t;
    this.byKey = new Map(); // key -> toast record
  }

  show({ title, level = 'info', device = '', count = 1, message = '', key = null }) {
    const existing = key === null ? null : this.byKey.get(key);
    if (existing && existing.el.isConnected) {
      existing.counts.set(message, (existing.counts.get(message) || 0) + count);
      existing.fill({ title, level, device, count: existing.counts.get(message), message });
      existing.rearm(level);
      return existing.el;
    }
    const close = h(
      'button',
      { type: 'button', class: 'btn ghost icon-only', 'aria-label': this.t('dialog.close'), title: this.t('dialog.close') },
      icon('close'),
    );
    const toast = h('div', { class: 'toast' });
    const record = { el: toast, counts: new Map([[message, count]]) };
    record.fill = (m) => {
      clear(toast);
      toast.className = `toast ${m.level}`;
      toast.setAttribute('role', m.level === 'error' ? 'alert' : 'status');
      toast.dataset.message = m.message;
      const titleEl = h('p', { class: 'toast-title' }, m.title);
      if (m.count > 1) titleEl.append(h('span', { class: 'toast-count', text: `×${m.count}` }));
      toast.append(
        icon(ICONS[m.level] || 'info'),
        h('div', { class: 'toast-body' }, titleEl, m.device ? h('p', { class: 'toast-device', text: m.device }) : null),
        close,
      );
    };
    record.fill({ title, level, device, count, message });
    let timer = null;
    let remaining = LIFETIME[level] || 6000;
    let started = 0;
    let held = false;
    const dismiss = () => {
      clearTimeout(timer);
      toast.remove();
      if (key !== null && this.byKey.get(key) === record) this.byKey.delete(key);
    };
    const arm = () => {
      held = false;
      started = Date.now();
      clearTimeout(timer);
      timer = setTimeout(dismiss, remaining);
    };
    const hold = () => {
      held = true;
      clearTimeout(timer);
      remaining = Math.max(1500, remaining - (Date.now() - started));
    };
    record.rearm = (lvl) => {
      remaining = LIFETIME[lvl] || 6000;
      if (!held) arm();
    };
    close.addEventListener('click', dismiss);
    toast.addEventListener('mouseenter', hold);
    toast.addEventListener('mouseleave', arm);
    toast.addEventListener('focusin', hold);
    toast.addEventListener('focusout', arm);
    this.container.append(toast);
    if (key !== null) this.byKey.set(key, record);
    while (this.container.children.length > MAX_VISIBLE) this.container.firstChild.remove();
    arm();
    return toast;
  }
}
