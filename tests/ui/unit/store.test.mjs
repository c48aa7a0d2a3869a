import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { lnf } from './helpers.mjs';

const { createStore } = await lnf('store.js');

/** A store whose passes run when the test says so, recording each pass. */
function storeWithPasses() {
  const queued = [];
  const store = createStore({ schedulePass: (fn) => queued.push(fn) });
  const passes = [];
  store.onRender((pass) => passes.push({ dirty: [...pass.dirty].sort(), changes: pass.changes, batch: pass.batch }));
  const runQueued = () => queued.splice(0).forEach((fn) => fn());
  return { store, passes, queued, runQueued };
}

describe('Store', () => {
  test('MarksOfOneTaskAreDrawnInOnePass', () => {
    const { store, passes, queued, runQueued } = storeWithPasses();
    store.mark('view');
    store.mark('rowStamp', 'view');
    store.mark('details');
    assert.equal(queued.length, 1, 'one pass asked for');
    assert.equal(passes.length, 0, 'nothing drawn before the task ends');
    runQueued();
    assert.deepEqual(
      passes.map((p) => p.dirty),
      [['details', 'rowStamp', 'view']],
    );
  });

  test('RenderingNowLeavesNothingForTheQueuedPass', () => {
    const { store, passes, runQueued } = storeWithPasses();
    store.mark('view');
    store.render();
    runQueued();
    assert.equal(passes.length, 1);
    store.render();
    assert.equal(passes.length, 1, 'a pass with nothing stale draws nothing');
  });

  test('MarksMadeWhileDrawingAreDrawnInTheSamePass', () => {
    const { store, passes, queued, runQueued } = storeWithPasses();
    let closedPanel = false;
    store.onRender(({ dirty }) => {
      // as a panel closing for a device that left: the table redraws too
      if (dirty.has('details') && !closedPanel) {
        closedPanel = true;
        store.mark('rowStamp');
      }
    });
    store.mark('details');
    runQueued();
    assert.deepEqual(
      passes.map((p) => p.dirty),
      [['details'], ['rowStamp']],
    );
    runQueued();
    assert.equal(passes.length, 2, 'the pass asked for while drawing finds nothing left');
    assert.equal(queued.length, 0);
  });

  test('ABatchOfDocumentsReachesTheRenderersWithItsTiming', () => {
    const { store, passes } = storeWithPasses();
    const first = { id: 1 };
    const second = { id: 2 };
    store.receive(first, { arrived: [5, 6], started: 7 });
    // A second batch before the first was drawn: the first is drawn first, not lost.
    store.receive(second, { arrived: [8], started: 9 });
    store.render();
    assert.deepEqual(
      passes.map((p) => [p.changes, p.batch]),
      [
        [first, { arrived: [5, 6], started: 7 }],
        [second, { arrived: [8], started: 9 }],
      ],
    );
  });
});
