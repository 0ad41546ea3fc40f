#pragma once
// The OLE2 compound file around a BIFF8 stream (libgsf, 512-byte sectors):
// the writing side beside OleReader.

#include <gsf/gsf-output.h>

#include <memory>

#include "BiffWriter.h"
#include "Workbook.h"

namespace xls {

struct GObjectUnref {
    void operator()(void* p) const;
};
template <class T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError* e) const;
};

// libgsf is set up once per process.
void initGsf();

// Writes the book's BIFF8 stream as "Workbook" into an OLE2 container on
// `sink`, piece by piece as it is made; false when a write failed. Throws
// PlatformError when the book cannot be written.
bool writeContainer(GsfOutput* sink, const Workbook& book);

}  // namespace xls
