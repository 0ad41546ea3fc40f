#pragma once
// Which billing rows belong to a customer whose billing is expanded over
// departments (浄化槽請求展開テーブル).

#include "FieldValue.h"
#include "RecordsetHelper.h"

// Whether the row's 展開得意先コード names its own 得意先コード, compared as
// numbers. A row without 展開得意先コード (the customer is not in the table)
// never matches, whatever its customer code.
bool IsExpandedCustomer(const FieldValue& expandedCustomer, const FieldValue& customer);

// Whether any row of `BillingRecordset`, from the current one onward, is an
// expanded customer's. Leaves the record set on its first row.
bool FindExpandedCustomer(RecordsetHelper& BillingRecordset);
