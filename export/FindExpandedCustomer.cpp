#include "FindExpandedCustomer.h"

#include "RecordsetMove.h"
#include "gMjDisp.h"

namespace {

bool HasValue(const FieldValue& value) {
    if (IsNull(value))
        return false;
    const auto* text = std::get_if<std::string>(&value);
    return text == nullptr || !gMjDisp::Trim(*text).empty();
}

}  // namespace

bool IsExpandedCustomer(const FieldValue& expandedCustomer, const FieldValue& customer) {
    if (!HasValue(expandedCustomer) || !HasValue(customer))
        return false;
    return FieldNumber(expandedCustomer) == FieldNumber(customer);
}

bool FindExpandedCustomer(RecordsetHelper& BillingRecordset) {
    bool found = false;
    while (!BillingRecordset.BOF() && !BillingRecordset.IsEOF()) {
        if (IsExpandedCustomer(BillingRecordset.FieldRef("展開得意先コード"),
                               BillingRecordset.FieldRef("得意先コード"))) {
            found = true;
            break;
        }
        MoveRecord(BillingRecordset, "MOVENEXT");
    }
    MoveRecord(BillingRecordset, "MOVELAST");
    MoveRecord(BillingRecordset, "MOVEFIRST");
    return found;
}
