#pragma once
// Screen readers announce each tool's window as a window named by its caption.

// Installs, once per process, the accessibility factory that gives a window
// that follows the window conventions the role of a top-level window (AT-SPI
// "frame"); a plain QWidget would be announced as a filler.
void InstallWindowAccessibility();
