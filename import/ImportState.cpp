#include "ImportState.h"

pClExcel& ImportState::Book() {
    if (!ExcelBook)
        ExcelBook = std::make_unique<pClExcel>(view.messages());
    return *ExcelBook;
}
