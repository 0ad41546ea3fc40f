#include "OleWriter.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <mutex>

#include "XlsWriterParts.h"

namespace xls {

void GObjectUnref::operator()(void* p) const {
    if (p != nullptr)
        g_object_unref(p);
}

void GErrorFree::operator()(GError* e) const {
    if (e != nullptr)
        g_error_free(e);
}

void initGsf() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

namespace {
constexpr std::size_t kChunk = 1 << 20;  // bytes handed to libgsf at a time
}  // namespace

bool writeContainer(GsfOutput* sink, const Workbook& book) {
    GPtr<GsfOutfile> ole(gsf_outfile_msole_new(sink));
    if (!ole)
        return false;
    GPtr<GsfOutput> child(gsf_outfile_new_child(ole.get(), "Workbook", FALSE));
    if (!child)
        return false;
    bool ok = writer::writeStream(book, [&child](const biff::BiffBuffer& piece) {
        for (std::size_t at = 0; at < piece.size(); at += kChunk) {
            const std::size_t n = std::min(kChunk, piece.size() - at);
            if (gsf_output_write(child.get(), n, piece.data() + at) == FALSE)
                return false;
        }
        return true;
    });
    ok = gsf_output_close(child.get()) != FALSE && ok;
    ok = gsf_output_close(GSF_OUTPUT(ole.get())) != FALSE && ok;
    return ok;
}

}  // namespace xls
