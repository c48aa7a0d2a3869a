#pragma once

// Registers the shell's compiled-in resources (the application icon). The
// resources live in a static library, so nothing pulls them in by itself;
// every user of ":/resources/..." calls this first. Safe to call repeatedly.
void initShellResources();
