// Lints the browser code and its tests. Run from the repository root (the
// ui.lint test does), so that the patterns reach www/ as well as tests/ui/:
//   node tests/ui/node_modules/eslint/bin/eslint.js -c tests/ui/eslint.config.mjs

import js from '@eslint/js';
import globals from 'globals';

export default [
  { ignores: ['**/node_modules/', 'tests/ui/artifacts/'] },
  js.configs.recommended,
  {
    files: ['www/lnf/js/**/*.js'],
    languageOptions: { ecmaVersion: 2022, sourceType: 'module', globals: globals.browser },
  },
  {
    files: ['tests/ui/**/*.mjs'],
    languageOptions: { ecmaVersion: 2022, sourceType: 'module', globals: globals.node },
  },
  {
    // The flows hand these functions to page.evaluate: they run in the page.
    files: ['tests/ui/mock-flows/**/*.mjs', 'tests/ui/real/**/*.mjs', 'tests/ui/support/**/*.mjs', 'tests/ui/screenshots.mjs'],
    languageOptions: { globals: { ...globals.node, ...globals.browser } },
  },
  {
    rules: {
      'no-unused-vars': ['error', { args: 'after-used', argsIgnorePattern: '^_', caughtErrors: 'none', ignoreRestSiblings: true }],
    },
  },
];
