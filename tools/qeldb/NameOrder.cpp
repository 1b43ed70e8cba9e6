#include "tools/qeldb/NameOrder.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <qel/platform/Locale.h>

void NameOrder::Close::operator()(UCollator* collator) const { ucol_close(collator); }

NameOrder::NameOrder() {
    char name[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLocaleForLCID(qel::platform::GetThreadLocale(), name, sizeof name, &status);
    const char* locale = U_SUCCESS(status) && name[0] != '\0' ? name : "en_US";
    status = U_ZERO_ERROR;
    m_collator.reset(ucol_open(locale, &status));
    if (U_FAILURE(status)) m_collator.reset();
}

NameOrder::~NameOrder() = default;

bool NameOrder::Less(std::string_view a, std::string_view b) const {
    if (!m_collator) return a < b;
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result = ucol_strcollUTF8(m_collator.get(), a.data(), static_cast<int32_t>(a.size()),
                                                     b.data(), static_cast<int32_t>(b.size()), &status);
    if (U_FAILURE(status)) return a < b;
    return result == UCOL_LESS;
}
