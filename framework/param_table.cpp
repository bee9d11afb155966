// The plug-in's FreeFrame parameter table and descriptions, built from its
// one declaration of the parameters (params.h). Compiled once per plug-in,
// like the instance and frame operations.
#include "descriptor.h"
#include "params.h"

static_assert(paramSpecsAgree(kParamSpecs, kNumParams), "params.h: rows, indices, names and defaults must agree");

namespace {

// The rows plus the row of zeros that ends the table. A struct, so that a
// constexpr function can fill it and the table needs no code at load time.
struct ParamRows {
    ParamDefStruct rows[kNumParams + 1];
};

constexpr ParamRows buildRows() {
    ParamRows table{};
    for (int i = 0; i < kNumParams; ++i) {
        ParamDefStruct& row = table.rows[i];
        row.defaultValue = kParamSpecs[i].defaultValue;
        // NUL-padded: the field was zeroed, the name has at most 15 characters.
        for (int c = 0; kParamSpecs[i].name[c] != '\0'; ++c) row.name[c] = kParamSpecs[i].name[c];
    }
    return table;
}

ParamRows rowStorage = buildRows();

}  // namespace

ParamDefStruct* const paramTable = rowStorage.rows;

const char* paramDescription(int index) {
    if (index < 0 || index >= kNumParams) return nullptr;
    return kParamSpecs[index].description;
}
