// The device table. Only the rows in and near the visible window are in the
// DOM; rows are keyed by device id and redrawn only when their device
// changed, so thousands of devices under live updates stay smooth.

import { COLUMNS } from './columns.js';
import { h, icon, clear, setText } from './dom.js';
import { badgesOf, displayName, methodLabel } from './present.js';
import { effectiveState, extraLines, withoutEffective } from './effective.js';
import { hasConflict } from './state.js';
import { translateMessage } from './notify.js';
import { copyText } from './copy.js';

const OVERSCAN = 10;
// The ticks that pick devices for a job of many changes. Not a column of
// the device list: exports and the column chooser leave it out.
const PICK_COLUMN = { key: 'pick', label: 'batch.pick', width: 36, fixed: true };
const MONO = new Set(['ip', 'subnetMask', 'defaultGateway', 'mac', 'ipOfAssociatedNic', 'articleNumber', 'serialNumber']);

export class DeviceTable {
  constructor({ scroll, table, colgroup, headRow, tbody }, hooks) {
    Object.assign(this, { scroll, table, colgroup, headRow, tbody, hooks });
    this.view = [];
    this.rowIndex = null; // id -> position in the view, made when first asked for
    this.rows = new Map(); // id -> tr in the DOM
    this.domKeys = new Map(); // id -> short element id
    this.domKeyCounter = 0;
    this.columns = [PICK_COLUMN, ...COLUMNS];
    this.layoutStamp = 0;
    this.activeId = null;
    this.activeKey = 'name'; // the column of the focused cell
    this.sort = { key: 'name', dir: 'asc' };
    this.topSpacer = h('tr', { class: 'spacer', 'aria-hidden': 'true' }, h('td'));
    this.bottomSpacer = h('tr', { class: 'spacer', 'aria-hidden': 'true' }, h('td'));
    this.scheduled = false;

    scroll.addEventListener('scroll', () => this.schedule(), { passive: true });
    new ResizeObserver(() => this.schedule()).observe(scroll);
    tbody.addEventListener('click', (e) => this.onClick(e));
    table.addEventListener('keydown', (e) => this.onKey(e));
    // Focus by mouse comes before the click: moving the scroll position here
    // would send the click to another row. Take the first row in sight.
    table.addEventListener('focus', () => {
      if (this.activeId || !this.view.length) return;
      const first = Math.min(this.view.length - 1, Math.ceil(this.scroll.scrollTop / this.rowHeight()));
      this.setActive(this.view[first], { scroll: false });
    });
  }

  rowHeight() {
    if (!this.rowH) this.rowH = parseFloat(getComputedStyle(document.documentElement).getPropertyValue('--row-h')) || 36;
    return this.rowH;
  }

  setColumns(visibleKeys) {
    this.columns = [PICK_COLUMN, ...COLUMNS.filter((c) => c.fixed || visibleKeys.has(c.key))];
    this.layoutStamp += 1;
    this.buildHead();
  }

  setSort(key, dir) {
    this.sort = { key, dir };
    this.buildHead();
  }

  relabel() {
    this.layoutStamp += 1;
    this.buildHead();
  }

  buildHead() {
    const { t } = this.hooks;
    clear(this.colgroup);
    clear(this.headRow);
    let sticky = 0;
    for (const col of this.columns) {
      this.colgroup.append(h('col', { style: null, dataset: { key: col.key } }));
      this.colgroup.lastChild.style.width = `${col.width}px`;
      if (col === PICK_COLUMN) {
        this.pickAll = h('input', { type: 'checkbox', class: 'pick-all', 'aria-label': t('batch.pickShown'), title: t('batch.pickShown') });
        this.pickAll.addEventListener('click', () => this.hooks.onPickAll(this.pickAll.checked));
        this.headRow.append(h('th', { scope: 'col', dataset: { key: col.key }, class: `sticky sticky-${sticky++} pick-cell` }, this.pickAll));
        continue;
      }
      const sorted = this.sort.key === col.key;
      const label = t(col.label);
      const button = h(
        'button',
        { type: 'button', class: 'sort', title: t('table.sortBy', { column: label }) },
        col.key === 'isFavorite' ? icon('star') : h('span', { text: label }),
        sorted ? h('span', { class: 'arrow', 'aria-hidden': 'true', text: this.sort.dir === 'asc' ? '▲' : '▼' }) : null,
      );
      if (col.key === 'isFavorite') button.setAttribute('aria-label', label);
      button.addEventListener('click', () => this.hooks.onSort(col.key));
      const th = h('th', { scope: 'col', dataset: { key: col.key }, class: col.fixed ? `sticky sticky-${sticky++}` : null }, button);
      if (sorted) th.setAttribute('aria-sort', this.sort.dir === 'asc' ? 'ascending' : 'descending');
      this.headRow.append(th);
    }
    // A width of its own: sized by its content ("max-content"), the table
    // widened a column whenever a badge appeared in it.
    this.table.style.width = `${this.columns.reduce((sum, c) => sum + c.width, 0)}px`;
    this.topSpacer.firstChild.colSpan = this.columns.length;
    this.bottomSpacer.firstChild.colSpan = this.columns.length;
  }

  setView(ids) {
    this.view = ids;
    // Most views are drawn and replaced before anyone asks where a row is:
    // a burst of diffs need not index thousands of ids for each.
    this.rowIndex = null;
    this.table.setAttribute('aria-rowcount', String(ids.length + 1));
    if (this.activeId !== null && !ids.includes(this.activeId)) this.activeId = null;
  }

  /** Positions of the view's ids. */
  get index() {
    if (!this.rowIndex) this.rowIndex = new Map(this.view.map((id, i) => [id, i]));
    return this.rowIndex;
  }

  schedule() {
    if (this.scheduled) return;
    this.scheduled = true;
    requestAnimationFrame(() => {
      this.scheduled = false;
      this.render();
    });
  }

  domKey(id) {
    let key = this.domKeys.get(id);
    if (!key) this.domKeys.set(id, (key = `row-${++this.domKeyCounter}`));
    return key;
  }

  render() {
    const { state, ctx } = this.hooks;
    const st = state();
    const c = ctx();
    const rowH = this.rowHeight();
    const n = this.view.length;
    const top = this.scroll.scrollTop;
    const height = this.scroll.clientHeight || 600;
    const first = Math.max(0, Math.floor(top / rowH) - OVERSCAN);
    const last = Math.min(n, Math.ceil((top + height) / rowH) + OVERSCAN);

    this.topSpacer.firstChild.style.height = `${first * rowH}px`;
    this.bottomSpacer.firstChild.style.height = `${(n - last) * rowH}px`;

    const wanted = [this.topSpacer];
    const keep = new Set();
    for (let i = first; i < last; i++) {
      const id = this.view[i];
      const device = st.devices.get(id) || this.hooks.goneDevice(id);
      if (!device) continue;
      keep.add(id);
      let tr = this.rows.get(id);
      if (!tr) {
        tr = h('tr', { id: this.domKey(id), role: 'row' });
        tr.__id = id;
        tr.dataset.deviceId = id;
        this.rows.set(id, tr);
      }
      const stamp = `${st.rev.get(id)}|${this.layoutStamp}|${c.stamp}|${c.sending.has(id) ? 1 : 0}|${c.favPending.has(id) ? c.favPending.get(id) : '-'}|${c.picked.has(id) ? 1 : 0}`;
      if (tr.__stamp !== stamp) {
        this.fillRow(tr, id, device, st, c);
        tr.__stamp = stamp;
      }
      tr.setAttribute('aria-rowindex', String(i + 2));
      tr.classList.toggle('selected', id === c.selectedId);
      tr.classList.toggle('active', id === this.activeId);
      tr.setAttribute('aria-selected', id === c.selectedId ? 'true' : 'false');
      wanted.push(tr);
    }
    wanted.push(this.bottomSpacer);
    for (const [id, tr] of this.rows) {
      if (!keep.has(id)) {
        tr.remove();
        this.rows.delete(id);
      }
    }
    // Move only what is out of place, so unchanged rows keep their nodes.
    let cursor = this.tbody.firstChild;
    for (const node of wanted) {
      if (node === cursor) cursor = cursor.nextSibling;
      else this.tbody.insertBefore(node, cursor);
    }
    while (cursor) {
      const next = cursor.nextSibling;
      cursor.remove();
      cursor = next;
    }
    const col = Math.max(
      0,
      this.columns.findIndex((c) => c.key === this.activeKey),
    );
    for (const [id, tr] of this.rows) {
      tr.querySelectorAll('td.active-cell').forEach((td) => td.classList.remove('active-cell'));
      if (id === this.activeId && tr.children[col]) tr.children[col].classList.add('active-cell');
    }
    this.updatePickAll(st, c.picked);
    if (this.activeId && this.rows.has(this.activeId)) this.table.setAttribute('aria-activedescendant', this.domKey(this.activeId));
    else this.table.removeAttribute('aria-activedescendant');
  }

  fillRow(tr, id, d, st, c) {
    const { t } = this.hooks;
    const gone = !st.devices.has(id);
    clear(tr);
    tr.classList.toggle('missing', Boolean(d.isMissing));
    tr.classList.toggle('gone', gone);
    tr.setAttribute('aria-disabled', gone ? 'true' : 'false');
    let sticky = 0;
    for (const col of this.columns) {
      const td = h('td', { role: 'gridcell' });
      if (col.fixed) td.className = `sticky sticky-${sticky++}`;
      if (MONO.has(col.key)) td.classList.add('mono');
      switch (col.key) {
        case 'pick': {
          td.classList.add('pick-cell');
          const box = h('input', { type: 'checkbox', class: 'pick', tabindex: '-1', 'aria-label': t('batch.pickRow', { name: displayName(d, t) }) });
          box.checked = c.picked.has(id);
          box.disabled = gone;
          td.append(box);
          break;
        }
        case 'isFavorite': {
          const pending = c.favPending.has(id);
          const on = pending ? c.favPending.get(id) : Boolean(d.isFavorite);
          td.append(
            h(
              'button',
              {
                type: 'button',
                class: `star${pending ? ' pending' : ''}`,
                tabindex: '-1',
                'aria-pressed': on ? 'true' : 'false',
                'aria-label': t(on ? 'favorite.remove' : 'favorite.add'),
                title: t(on ? 'favorite.remove' : 'favorite.add'),
              },
              icon(on ? 'star-fill' : 'star'),
            ),
          );
          break;
        }
        case 'name': {
          const name = displayName(d, t);
          td.append(h('span', { class: `name-text${d.name ? '' : ' unnamed'}`, text: name }));
          td.title = name;
          // Which devices ask for a login is seen before one is opened; a
          // mark beside the name keeps the row one line high.
          if (d.isAuthentication) {
            const login = t('badge.authTitle');
            td.append(h('span', { class: 'login-mark', role: 'img', 'aria-label': login, title: login }, icon('lock')));
            td.title = `${name} · ${login}`;
          }
          break;
        }
        case 'status': {
          const cell = h('div', { class: 'status-cell' });
          const eff = effectiveState(d, { gone });
          const label = t(eff.label);
          const own = eff.own ? t(`state.${eff.own}`) : '';
          cell.append(h('span', { class: `dot ${eff.key}` }), h('span', { class: 'status-label', text: label }));
          if (own) cell.append(h('span', { class: 'own-state', text: t('effective.own', { state: own }) }));
          for (const b of withoutEffective(badgesOf(st, id, d, { sending: c.sending.has(id) }), eff)) {
            if (b.cls === 'auth') continue; // shown in the details; the row stays short
            cell.append(h('span', { class: `badge ${b.cls}`, title: t(b.title), text: t(b.key) }));
          }
          // The program adds its own line to a missing favourite's device lines.
          const all = (Array.isArray(d.statusStringDetails) ? d.statusStringDetails : []).map((line) => translateMessage(line, t));
          const lines = extraLines(all, [label, own]);
          if (lines.length) cell.append(h('span', { class: 'info-text', text: lines.join(' · ') }));
          td.append(cell);
          td.title = [own ? `${label} (${own})` : label, gone ? t('effective.goneTitle') : null, ...lines].filter(Boolean).join('\n');
          break;
        }
        case 'networkMethod':
          setText(td, methodLabel(d.networkMethod, t));
          break;
        case 'ip':
          setText(td, d.ip);
          if (hasConflict(st, id)) {
            td.classList.add('conflict');
            td.title = t('badge.conflictTitle');
          }
          break;
        default:
          setText(td, col.get(d));
          td.title = col.get(d);
      }
      tr.append(td);
    }
  }

  onClick(e) {
    const tr = e.target.closest('tr');
    if (!tr || tr.__id === undefined) return;
    // Selecting a value with the mouse ends in a click: it copies, not opens.
    const selection = window.getSelection();
    if (selection && !selection.isCollapsed && this.tbody.contains(selection.anchorNode)) return;
    const id = tr.__id;
    this.activeId = id;
    const td = e.target.closest('td');
    if (td && this.columns[td.cellIndex]) this.activeKey = this.columns[td.cellIndex].key;
    if (e.target.closest('.pick-cell')) {
      // The box shows the store's choice, which the redraw sets.
      if (e.target.closest('.pick')) e.target.checked = !e.target.checked;
      if (this.hooks.state().devices.has(id)) this.hooks.onPick(id, e.shiftKey);
      return;
    }
    if (e.target.closest('.star')) {
      this.hooks.onToggleFavorite(id);
      return;
    }
    this.hooks.onOpen(id, false);
  }

  /** The head's tick: on when every shown device is picked, half when some are. */
  updatePickAll(st, picked) {
    if (!this.pickAll) return;
    // Nothing picked: neither on nor half, without a walk over every row.
    if (picked.size === 0) {
      this.pickAll.checked = false;
      this.pickAll.indeterminate = false;
      return;
    }
    const shown = this.view.filter((id) => st.devices.has(id));
    const n = shown.filter((id) => picked.has(id)).length;
    this.pickAll.checked = shown.length > 0 && n === shown.length;
    this.pickAll.indeterminate = n > 0 && n < shown.length;
  }

  /** Copies the text of the focused cell of a row. */
  async copyCell(id) {
    const tr = this.rows.get(id);
    const col = this.columns.findIndex((c) => c.key === this.activeKey);
    const td = tr && tr.children[col];
    if (!td) return;
    const label = td.querySelector('.status-label, .name-text');
    const text = (label ? label.textContent : td.textContent).trim();
    const ok = text !== '' && (await copyText(text));
    if (this.hooks.onCopied) this.hooks.onCopied(ok, text);
  }

  setActive(id, { scroll = true } = {}) {
    this.activeId = id;
    if (scroll && this.index.has(id)) this.scrollToIndex(this.index.get(id));
    this.schedule();
  }

  scrollToIndex(i) {
    const rowH = this.rowHeight();
    const header = this.headRow.offsetHeight || rowH;
    const top = i * rowH;
    const visible = this.scroll.clientHeight - header;
    if (top < this.scroll.scrollTop) this.scroll.scrollTop = top;
    else if (top + rowH > this.scroll.scrollTop + visible) this.scroll.scrollTop = top + rowH - visible;
  }

  onKey(e) {
    if (e.target !== this.table) return;
    const n = this.view.length;
    if (!n) return;
    let i = this.activeId !== null && this.index.has(this.activeId) ? this.index.get(this.activeId) : -1;
    const page = Math.max(1, Math.floor((this.scroll.clientHeight - 36) / this.rowHeight()) - 1);
    switch (e.key) {
      case 'ArrowDown':
        i = Math.min(n - 1, i + 1);
        break;
      case 'ArrowUp':
        i = Math.max(0, i - 1);
        break;
      case 'PageDown':
        i = Math.min(n - 1, i + page);
        break;
      case 'PageUp':
        i = Math.max(0, i - page);
        break;
      case 'Home':
        i = 0;
        break;
      case 'End':
        i = n - 1;
        break;
      case 'ArrowLeft':
      case 'ArrowRight': {
        const keys = this.columns.map((c) => c.key);
        const at = Math.max(0, keys.indexOf(this.activeKey));
        this.activeKey = keys[Math.min(keys.length - 1, Math.max(0, at + (e.key === 'ArrowLeft' ? -1 : 1)))];
        if (i < 0) i = 0;
        break;
      }
      case 'c':
      case 'C':
        if ((e.ctrlKey || e.metaKey) && i >= 0) {
          const selection = window.getSelection();
          if (selection && !selection.isCollapsed) return; // the browser copies what is selected
          this.copyCell(this.view[i]);
          e.preventDefault();
        }
        return;
      case 'Enter':
      case ' ':
        if (i >= 0) this.hooks.onOpen(this.view[i], true);
        e.preventDefault();
        return;
      case 'x':
      case 'X':
        if (i >= 0 && !e.ctrlKey && !e.metaKey && !e.altKey && this.hooks.state().devices.has(this.view[i])) {
          this.hooks.onPick(this.view[i], e.shiftKey);
          e.preventDefault();
        }
        return;
      case 'f':
      case 'F':
        if (i >= 0 && !e.ctrlKey && !e.metaKey && !e.altKey) {
          this.hooks.onToggleFavorite(this.view[i]);
          e.preventDefault();
        }
        return;
      default:
        return;
    }
    e.preventDefault();
    this.setActive(this.view[Math.max(0, i)]);
  }
}
