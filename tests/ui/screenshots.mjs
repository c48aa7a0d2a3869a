#!/usr/bin/env node
// Takes the pictures of the browser interface for the README
// (docs/ui-*.png) against the mock application, with a made-up plant.
//   node tests/ui/screenshots.mjs
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { MockLanfinder, makeDevice } from './support/mock-lanfinder.mjs';
import { launch } from './support/browser.mjs';

const docs = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../docs');
const nics = [
  { mac: '3C:52:82:11:20:01', name: 'Line A', addresses: [{ ip: '192.168.10.1', subnetMask: '255.255.255.0' }], gateways: ['192.168.10.254'] },
  { mac: '3C:52:82:11:20:02', name: 'Line B', addresses: [{ ip: '192.168.20.1', subnetMask: '255.255.255.0' }], gateways: ['0.0.0.0'] },
];
const types = [
  ['VisionSensor', 'V2D654'],
  ['CodeReader', 'R2D111'],
  ['SmartCamera', 'S3D200'],
  ['VisionController', 'C1X900'],
];
const devices = [];
for (let i = 0; i < 24; i++) {
  const [type, art] = types[i % types.length];
  const line = i % 3 === 2 ? 'B' : 'A';
  const net = line === 'A' ? 10 : 20;
  devices.push(
    makeDevice({
      name: `${line === 'A' ? 'Press' : 'Packing'} ${type === 'CodeReader' ? 'reader' : 'camera'} ${String(i + 1).padStart(2, '0')}`,
      type,
      articleNumber: art,
      serialNumber: `2412${String(3100 + i * 7)}`,
      ip: `192.168.${net}.${20 + i}`,
      subnetMask: '255.255.255.0',
      defaultGateway: net === 10 ? '192.168.10.254' : '0.0.0.0',
      networkMethod: i % 4 === 1 ? 'DHCP' : 'PersistentIP',
      fwVersion: `3.${i % 4}.${i % 7}`,
      hwVersion: `${1 + (i % 2)}.0`,
      ipOfAssociatedNic: `192.168.${net}.1`,
      url: `http://192.168.${net}.${20 + i}/`,
    }),
  );
}
Object.assign(devices[1], { isFavorite: true });
Object.assign(devices[4], { isFavorite: true, isMissing: true, isAccessible: false, statusStringDetails: ['Device is not available'] });
Object.assign(devices[6], { deviceState: 'WARNING', statusStringDetails: ['Lens contamination 40 %'] });
Object.assign(devices[9], { ip: '10.4.0.17', subnetMask: '255.255.0.0', isAccessible: false, name: 'Spare camera (factory address)' });
Object.assign(devices[11], { ip: devices[12].ip });
Object.assign(devices[14], { isAuthentication: true });
Object.assign(devices[16], { deviceState: 'ERROR', statusStringDetails: ['Trigger input overload'] });
Object.assign(devices[19], { isProcessing: true, isRebooting: true });

const mock = await new MockLanfinder({ devices, nics }).start();
const { browser, close } = await launch();
try {
  const shoot = async (file, { theme = 'light', language = 'en', open = null, prepare = null, width = 1366, height = 768 } = {}) => {
    mock.state.theme = theme;
    mock.state.language = language;
    const context = await browser.newContext({ viewport: { width, height } });
    const page = await context.newPage();
    page.on('pageerror', (e) => console.error('page error:', e));
    await page.goto(mock.url);
    await page.waitForFunction(() => document.querySelectorAll('#rows tr[aria-rowindex]').length > 10);
    if (open) {
      await page.locator('#rows tr[aria-rowindex]', { has: page.locator('.name-text', { hasText: open }) }).click();
      await page.waitForSelector('#details:not([hidden])');
    }
    if (prepare) await prepare(page);
    await page.waitForFunction((lang) => document.documentElement.lang === lang, language);
    await page.screenshot({ path: path.join(docs, file) });
    await context.close();
    console.log('wrote', path.join('docs', file));
  };
  await shoot('ui-overview.png', { width: 1600, height: 900 });
  await shoot('ui-unreachable.png', { open: 'Spare camera' });
  await shoot('ui-dark.png', { theme: 'dark', open: 'camera 20' });
  await shoot('ui-german.png', { language: 'de', open: 'camera 15' });
  // Eight cameras of line A planned onto consecutive addresses; the missing
  // one is marked before anything is sent.
  await shoot('ui-batch.png', {
    width: 1600,
    height: 900,
    prepare: async (page) => {
      const pick = (name) => page.locator('#rows tr[aria-rowindex]', { has: page.locator('.name-text', { hasText: name }) }).locator('input.pick');
      await pick('Press camera 01').click();
      await pick('Press camera 08').click({ modifiers: ['Shift'] });
      await page.click('#btn-batch');
      await page.selectOption('#b-method', 'PersistentIP');
      await page.fill('#b-start', '192.168.10.100');
      await page.fill('#b-gateway', '192.168.10.254');
      await page.fill('#b-pattern', 'Press station {n}');
      await page.fill('#b-npad', '2');
      await page.click('#b-preview');
      await page.waitForSelector('#b-preview-rows tr');
    },
  });
} finally {
  await close();
  await mock.stop();
}
