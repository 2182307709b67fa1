#include "Dispatch.h"

#include "CSerloCtrl.h"

#include <cstdlib>
#include <cstring>

namespace serlo {

namespace {

bool IsNumber(std::int32_t vt)
{
    return vt == SERLO_VT_I2 || vt == SERLO_VT_I4 || vt == SERLO_VT_BOOL;
}

void ClearVariant(SerloVariant* v)
{
    v->vt = SERLO_VT_EMPTY;
    v->i4 = 0;
    v->str = nullptr;
    v->len = 0;
}

} // namespace

std::int32_t ConvertArg(const SerloVariant& in, VType wanted, Value* out)
{
    // An empty variant stands for 0 or the empty string, as in the hosts' own conversions.
    const bool empty = in.vt == SERLO_VT_EMPTY;
    if (wanted == VType::Str) {
        if (empty) {
            *out = Value::Str({});
            return SERLO_S_OK;
        }
        if (in.vt != SERLO_VT_BSTR) return SERLO_E_TYPEMISMATCH;
        if (in.len < 0 || (in.len > 0 && !in.str)) return SERLO_E_TYPEMISMATCH;
        *out = Value::Str(in.len > 0 ? std::string(in.str, static_cast<std::size_t>(in.len))
                                     : std::string());
        return SERLO_S_OK;
    }
    if (!empty && !IsNumber(in.vt)) return SERLO_E_TYPEMISMATCH;
    const std::int32_t v = empty ? 0 : in.i4;
    switch (wanted) {
    case VType::I2:
        if (v < -32768 || v > 32767) return SERLO_E_OVERFLOW;
        *out = Value::I2(v);
        return SERLO_S_OK;
    case VType::I4:
        *out = Value::I4(v);
        return SERLO_S_OK;
    case VType::Bool:
        *out = Value::Bool(v != 0);
        return SERLO_S_OK;
    default:
        return SERLO_E_TYPEMISMATCH;
    }
}

void StoreResult(const Value& value, SerloVariant* out)
{
    ClearVariant(out);
    switch (value.type) {
    case VType::I2:
        out->vt = SERLO_VT_I2;
        out->i4 = value.i;
        break;
    case VType::I4:
        out->vt = SERLO_VT_I4;
        out->i4 = value.i;
        break;
    case VType::Bool:
        out->vt = SERLO_VT_BOOL;
        out->i4 = value.i ? -1 : 0;
        break;
    case VType::Str: {
        auto* copy = static_cast<char*>(std::malloc(value.s.size() + 1));
        if (!copy) return;
        std::memcpy(copy, value.s.data(), value.s.size());
        copy[value.s.size()] = '\0';
        out->vt = SERLO_VT_BSTR;
        out->str = copy;
        out->len = static_cast<std::int32_t>(value.s.size());
        break;
    }
    case VType::Empty:
        break;
    }
}

std::int32_t Invoke(CSerloCtrl& ctrl, std::int32_t id, std::int32_t flags, const SerloVariant* args,
                    std::int32_t nargs, SerloVariant* result)
{
    if (result) ClearVariant(result);
    if (nargs < 0 || (nargs > 0 && !args)) return SERLO_E_INVALIDARG;
    const Member* member = FindMember(id);
    if (!member) return SERLO_E_MEMBERNOTFOUND;

    if (member->isMethod) {
        if (!(flags & SERLO_DISPATCH_METHOD)) return SERLO_E_MEMBERNOTFOUND;
        if (static_cast<std::size_t>(nargs) != member->params.size()) return SERLO_E_BADPARAMCOUNT;
        std::vector<Value> values(member->params.size());
        for (std::size_t i = 0; i < values.size(); ++i)
            if (auto rc = ConvertArg(args[i], member->params[i], &values[i]); rc != SERLO_S_OK)
                return rc;
        const Value out = ctrl.CallMethod(id, values);
        if (result) StoreResult(out, result);
        return SERLO_S_OK;
    }

    if (flags & SERLO_DISPATCH_PROPERTYPUT) {
        if (nargs != 1) return SERLO_E_BADPARAMCOUNT;
        if (member->readOnly) return SERLO_E_SETNOTSUPPORTED;
        Value value;
        if (auto rc = ConvertArg(args[0], member->type, &value); rc != SERLO_S_OK) return rc;
        ctrl.SetProperty(id, value);
        return SERLO_S_OK;
    }
    if (flags & SERLO_DISPATCH_PROPERTYGET) {
        if (nargs != 0) return SERLO_E_BADPARAMCOUNT;
        const Value out = ctrl.GetProperty(id);
        if (result) StoreResult(out, result);
        return SERLO_S_OK;
    }
    return SERLO_E_MEMBERNOTFOUND;
}

} // namespace serlo
