// The one WebSocket to the application. Frames are queued as they arrive and
// handed over once per animation frame, so a burst of diffs costs one
// redraw.

import { HIDDEN_TAB_FRAME_MS, RECONNECT_DELAYS_MS as RETRIES } from './timeouts.js';

export class Connection {
  constructor({ url, onFrames, onStatus }) {
    this.url = url;
    this.onFrames = onFrames;
    this.onStatus = onStatus;
    this.queue = [];
    this.flushScheduled = false;
    this.ws = null;
    this.sawClosing = false;
    this.leaving = false;
    this.retries = 0;
    addEventListener('pagehide', () => {
      this.leaving = true;
    });
  }

  /** A fresh start asked for by the user: the retry budget starts over. */
  reconnect() {
    this.retries = 0;
    this.connect();
  }

  connect() {
    if (this.ws && this.ws.readyState <= 1) return;
    this.sawClosing = false;
    this.onStatus('connecting');
    let ws;
    try {
      ws = new WebSocket(this.url);
    } catch {
      this.onStatus('closed', { reason: 'failed' });
      return;
    }
    this.ws = ws;
    let opened = false;
    ws.addEventListener('open', () => {
      opened = true;
      this.retries = 0;
      this.lostAfterOpen = false;
      this.onStatus('open');
    });
    ws.addEventListener('message', (e) => {
      if (typeof e.data !== 'string') return;
      if (e.data === 'SessionClosing') this.sawClosing = true;
      this.queue.push({ text: e.data, at: performance.now() });
      this.scheduleFlush();
    });
    ws.addEventListener('close', () => {
      if (this.ws !== ws) return;
      this.ws = null;
      // A reload closes the socket too; the next page reconnects by itself.
      if (this.leaving) return;
      this.flush();
      // A socket lost without the program's goodbye may be a hiccup. The
      // program ends two seconds after its last browser has gone, so a few
      // quick tries inside that time keep it running.
      if (!this.sawClosing && this.retries < RETRIES.length) {
        if (opened) this.lostAfterOpen = true;
        const delay = RETRIES[this.retries++];
        this.onStatus('connecting');
        setTimeout(() => this.connect(), delay);
        return;
      }
      const reason = this.sawClosing ? 'closing' : opened || this.lostAfterOpen ? 'dropped' : 'failed';
      this.lostAfterOpen = false;
      this.onStatus('closed', { reason });
    });
  }

  scheduleFlush() {
    if (this.flushScheduled) return;
    this.flushScheduled = true;
    requestAnimationFrame(() => this.flush());
    // A hidden tab gets no animation frames; keep the state current anyway.
    if (document.hidden) setTimeout(() => this.flush(), HIDDEN_TAB_FRAME_MS);
  }

  flush() {
    this.flushScheduled = false;
    if (!this.queue.length) return;
    const frames = this.queue;
    this.queue = [];
    this.onFrames(frames);
  }

  send(obj) {
    if (!this.ws || this.ws.readyState !== WebSocket.OPEN) return false;
    this.ws.send(JSON.stringify(obj));
    return true;
  }

  get isOpen() {
    return Boolean(this.ws && this.ws.readyState === WebSocket.OPEN);
  }
}
