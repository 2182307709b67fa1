// Checking and converting late-bound calls: variant arguments to the member's declared types and
// results back to variants, with the dispatch error codes hosts expect.
#pragma once

#include "Members.h"
#include "serlo.h"

namespace serlo {

class CSerloCtrl;

// Converts one argument to the wanted type; SERLO_S_OK, SERLO_E_TYPEMISMATCH or SERLO_E_OVERFLOW.
std::int32_t ConvertArg(const SerloVariant& in, VType wanted, Value* out);

// Fills a result variant (strings are allocated; the caller frees them with SerloFreeString).
void StoreResult(const Value& value, SerloVariant* out);

// One call through the dispatch table.
std::int32_t Invoke(CSerloCtrl& ctrl, std::int32_t id, std::int32_t flags, const SerloVariant* args,
                    std::int32_t nargs, SerloVariant* result);

} // namespace serlo
