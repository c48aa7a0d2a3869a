#!/usr/bin/env node
// Runs one group of a node:test file and fails when the group ran no test,
// so a renamed group cannot pass silently.
//   node run-group.mjs <file> <group name>
import { spawnSync } from 'node:child_process';

const [file, group] = process.argv.slice(2);
if (!file || !group) {
  console.error('usage: run-group.mjs <file> <group>');
  process.exit(2);
}
const escaped = group.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
const result = spawnSync(process.execPath, ['--test', '--test-reporter=tap', `--test-name-pattern=^${escaped}$`, file], {
  encoding: 'utf8',
  stdio: ['ignore', 'pipe', 'pipe'],
  env: process.env,
});
process.stdout.write(result.stdout);
process.stderr.write(result.stderr);
const passed = /^# pass (\d+)$/m.exec(result.stdout);
const failed = /^# fail (\d+)$/m.exec(result.stdout);
if (result.status !== 0) process.exit(result.status ?? 1);
if (!passed || Number(passed[1]) === 0 || (failed && Number(failed[1]) > 0)) {
  console.error(`run-group: no test of group "${group}" ran in ${file}`);
  process.exit(1);
}
