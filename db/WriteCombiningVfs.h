#pragma once
// SQLite writes a database file and its rollback journal a page at a time:
// a full import made some 26,000 writes of 4 KB at its commits. On the
// virtual machine it was measured on, each write was a costly trip into the
// system, and the disk's sync after many small writes took twice as long as
// after the same bytes in large ones. This file system layer for SQLite hands
// the writes of the main database and its journal on in runs of up to 64 KB:
// a write that continues the one before it waits in a buffer, and the buffer
// goes to the file before anything that must see the file as written (a read,
// its size, a sync, a truncation, a lock released, the file closed).
//
// A write that fails there is reported by that call: with synchronous=FULL
// every write is followed by a sync, so SQLite sees it as the failure of the
// transaction it belongs to and rolls back. A run that a killed process
// leaves unwritten is lost as writes not yet synced may be lost with the
// power, which SQLite's journal is made for: the journal is synced before the
// database file is changed, and the file before the journal goes.

#include <sqlite3.h>

// The name of the layer over the default file system, registered at the
// first call, for the read-write connections; null when SQLite refused it,
// and the connections then open without it.
const char* WriteCombiningVfs();
