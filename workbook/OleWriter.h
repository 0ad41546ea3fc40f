#pragma once
// The OLE2 compound file around a BIFF8 stream (libgsf, 512-byte sectors):
// the writing side beside OleReader.

#include <gsf/gsf-output.h>

#include <memory>
#include <vector>

#include "BiffWriter.h"

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

// Writes the stream, given as consecutive pieces, as "Workbook" into an
// OLE2 container on `sink`; false when a write failed.
bool writeContainer(GsfOutput* sink, const std::vector<biff::BiffBuffer>& stream);

}  // namespace xls
