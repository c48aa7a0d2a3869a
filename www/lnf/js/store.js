// The page's one store: the application state as the program sends it, and
// this page's own state around it (search and filters, sort, the open
// device, requests in flight, the language shown). Whatever changes it marks
// the parts of the page it makes stale; one render pass draws all that was
// marked while one event was handled (a click, a batch of frames, which the
// connection hands over once an animation frame), before the browser paints.
// A burst of changes so costs one redraw, and what a handler changed is on
// the page when the handler's task ends, as a reader of the DOM expects.

import { createState } from './state.js';

// A render pass may mark more (closing the panel of a device that left
// redraws the table); those marks are drawn in the same pass, up to here.
const MAX_ROUNDS = 4;

export function createStore({ schedulePass = (fn) => queueMicrotask(fn) } = {}) {
  const renderers = [];
  let scheduled = false;

  const store = {
    state: createState(),
    ui: { query: '', filters: new Set(), nic: '', sortKey: 'name', sortDir: 'asc', columns: new Set() },
    connection: { status: 'connecting', reason: '' },
    language: null, // the language shown, once its texts are loaded or failed to
    selectedId: null,
    view: [], // ids of the shown devices, in shown order
    favPending: new Map(), // id -> the value asked for
    sending: new Set(), // ids with a change request awaiting its answer
    history: [], // the notifications of this page's life, newest last
    // Bumped when something all rows show changes (language, connection,
    // the selection), so that each row redraws.
    rowStamp: 0,
    dirty: new Set(),
    changes: null, // what the documents applied since the last pass changed
    batch: null, // { arrived, started } of those documents, for timing

    /** Marks parts of the page as stale; they are drawn when the current task ends. */
    mark(...parts) {
      for (const p of parts) store.dirty.add(p);
      schedule();
    },

    /** The changes of one batch of documents; the caller renders them at once. */
    receive(changes, batch) {
      if (store.changes) store.render();
      store.changes = changes;
      store.batch = batch;
    },

    /** `fn({ dirty, changes, batch })` runs in every render pass, in the order registered. */
    onRender(fn) {
      renderers.push(fn);
    },

    /** Draws what is stale now instead of when the current task ends. */
    render() {
      scheduled = false;
      for (let round = 0; round < MAX_ROUNDS && (store.dirty.size || store.changes); round++) {
        const pass = { dirty: store.dirty, changes: store.changes, batch: store.batch };
        store.dirty = new Set();
        store.changes = null;
        store.batch = null;
        for (const fn of renderers) fn(pass);
      }
      // Marks made in the last round keep the pass they asked for.
      scheduled = store.dirty.size > 0 || store.changes !== null;
    },
  };

  function schedule() {
    if (scheduled) return;
    scheduled = true;
    schedulePass(() => {
      if (scheduled) store.render();
    });
  }

  return store;
}

// ES modules are one instance per page: app.js and whoever imports this
// module in the same page share this store.
export const store = createStore();
