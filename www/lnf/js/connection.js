// The one WebSocket to the application. Frames are queued as they arrive and
// handed over once per animation frame, so a burst of diffs costs one
// redraw.

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
    addEventListener('pagehide', () => { this.leaving = true; });
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
      this.onStatus('closed', { reason: this.sawClosing ? 'closing' : opened ? 'dropped' : 'failed' });
    });
  }

  scheduleFlush() {
    if (this.flushScheduled) return;
    this.flushScheduled = true;
    requestAnimationFrame(() => this.flush());
    // A hidden tab gets no animation frames; keep the state current anyway.
    if (document.hidden) setTimeout(() => this.flush(), 250);
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
