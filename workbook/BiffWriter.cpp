#include "BiffWriter.h"

#include "XlsWriterParts.h"

namespace xls::writer {

using namespace biff;  // record ids

void writeBof(BiffBuffer& b, std::uint16_t dt) {
    b.begin(kBof);
    b.u16(0x0600);
    b.u16(dt);
    b.u16(0x0DBB);  // build
    b.u16(0x07CC);  // year
    b.u32(0x000100C1);
    b.u32(0x00000006);
    b.end();
}

void writeU16Record(BiffBuffer& b, std::uint16_t id, std::uint16_t v) {
    b.begin(id);
    b.u16(v);
    b.end();
}

void writeDouble(BiffBuffer& b, std::uint16_t id, double v) {
    b.begin(id);
    b.f64(v);
    b.end();
}

}  // namespace xls::writer
