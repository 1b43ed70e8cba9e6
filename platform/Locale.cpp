#include <qel/platform/Locale.h>

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include <qel/platform/Kana.h>
#include <qel/platform/Unicode.h>

namespace qel::platform {

namespace {

struct LocaleEntry {
    LCID lcid;
    const char* language;   // ISO 639 code as POSIX names use it
    const char* territory;  // ISO 3166 code
    const char* icuName;
    const char* shortDate;
};

// The first entry of a language is its default when a name or LCID gives
// only the language or an unknown territory.
constexpr std::array<LocaleEntry, 40> kLocales = {{
    {0x0409, "en", "US", "en_US", "%m/%d/%Y"},
    {0x0809, "en", "GB", "en_GB", "%d/%m/%Y"},
    {0x0C09, "en", "AU", "en_AU", "%d/%m/%Y"},
    {0x1009, "en", "CA", "en_CA", "%Y-%m-%d"},
    {0x1809, "en", "IE", "en_IE", "%d/%m/%Y"},
    {0x0410, "it", "IT", "it_IT", "%d/%m/%Y"},
    {0x0810, "it", "CH", "it_CH", "%d.%m.%Y"},
    {0x0411, "ja", "JP", "ja_JP", "%Y/%m/%d"},
    {0x0407, "de", "DE", "de_DE", "%d.%m.%Y"},
    {0x0C07, "de", "AT", "de_AT", "%d.%m.%Y"},
    {0x0807, "de", "CH", "de_CH", "%d.%m.%Y"},
    {0x040C, "fr", "FR", "fr_FR", "%d/%m/%Y"},
    {0x080C, "fr", "BE", "fr_BE", "%d/%m/%Y"},
    {0x0C0C, "fr", "CA", "fr_CA", "%Y-%m-%d"},
    {0x100C, "fr", "CH", "fr_CH", "%d.%m.%Y"},
    {0x0C0A, "es", "ES", "es_ES", "%d/%m/%Y"},
    {0x080A, "es", "MX", "es_MX", "%d/%m/%Y"},
    {0x0816, "pt", "PT", "pt_PT", "%d/%m/%Y"},
    {0x0416, "pt", "BR", "pt_BR", "%d/%m/%Y"},
    {0x0413, "nl", "NL", "nl_NL", "%d-%m-%Y"},
    {0x0813, "nl", "BE", "nl_BE", "%d/%m/%Y"},
    {0x041D, "sv", "SE", "sv_SE", "%Y-%m-%d"},
    {0x0406, "da", "DK", "da_DK", "%d-%m-%Y"},
    {0x0414, "nb", "NO", "nb_NO", "%d.%m.%Y"},
    {0x040B, "fi", "FI", "fi_FI", "%d.%m.%Y"},
    {0x0415, "pl", "PL", "pl_PL", "%d.%m.%Y"},
    {0x0405, "cs", "CZ", "cs_CZ", "%d.%m.%Y"},
    {0x040E, "hu", "HU", "hu_HU", "%Y.%m.%d."},
    {0x0418, "ro", "RO", "ro_RO", "%d.%m.%Y"},
    {0x041A, "hr", "HR", "hr_HR", "%d.%m.%Y"},
    {0x0424, "sl", "SI", "sl_SI", "%d.%m.%Y"},
    {0x0408, "el", "GR", "el_GR", "%d/%m/%Y"},
    {0x0419, "ru", "RU", "ru_RU", "%d.%m.%Y"},
    {0x0422, "uk", "UA", "uk_UA", "%d.%m.%Y"},
    {0x041F, "tr", "TR", "tr_TR", "%d.%m.%Y"},
    {0x0427, "lt", "LT", "lt_LT", "%Y-%m-%d"},
    {0x0804, "zh", "CN", "zh_CN", "%Y/%m/%d"},
    {0x0404, "zh", "TW", "zh_TW", "%Y/%m/%d"},
    {0x0412, "ko", "KR", "ko_KR", "%Y-%m-%d"},
    {0x042A, "vi", "VN", "vi_VN", "%d/%m/%Y"},
}};

constexpr const LocaleEntry& kUsEnglish = kLocales[0];

// Exact LCID first (sort bits ignored), then the language's default entry.
const LocaleEntry* FindByLcid(LCID lcid) {
    const LANGID lang = LANGIDFROMLCID(lcid);
    for (const auto& entry : kLocales) {
        if (LANGIDFROMLCID(entry.lcid) == lang) return &entry;
    }
    for (const auto& entry : kLocales) {
        if (PRIMARYLANGID(LANGIDFROMLCID(entry.lcid)) == PRIMARYLANGID(lang)) return &entry;
    }
    return nullptr;
}

const LocaleEntry& EntryFor(LCID lcid) {
    const LocaleEntry* entry = FindByLcid(lcid);
    return entry ? *entry : kUsEnglish;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

const char* FirstSetVariable(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return nullptr;
}

thread_local LCID t_threadLocale = 0;  // 0: not chosen yet on this thread

bool IsCaselessCjk(char32_t cp) {
    return (cp >= 0x3000 && cp <= 0x30FF) || (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xFF61 && cp <= 0xFF9F);
}

// Languages whose upper-casing has rules beyond the code point's own
// mapping (dotted I, Lithuanian dot above, Greek accent removal).
bool HasSpecialCasing(const LocaleEntry& entry) {
    const std::string_view lang = entry.language;
    return lang == "tr" || lang == "az" || lang == "lt" || lang == "el";
}

// Upper-cases the ASCII letters; for the other code points checks that
// upper-casing leaves them alone. False when ICU has to do the work.
bool TryUpperSimple(std::string& text, const LocaleEntry& entry) {
    const bool special = HasSpecialCasing(entry);
    const bool dottedI = std::string_view(entry.language) == "tr";
    std::size_t pos = 0;
    while (pos < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[pos]);
        if (c < 0x80) {
            if (dottedI && c == 'i') return false;
            ++pos;
            continue;
        }
        if (special) return false;
        const char32_t cp = NextCodePoint(text, pos);
        if (cp != kInvalidCodePoint && !IsCaselessCjk(cp) && u_hasBinaryProperty(static_cast<UChar32>(cp), UCHAR_CHANGES_WHEN_UPPERCASED)) {
            return false;
        }
    }
    for (char& ch : text) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
    return true;
}

void AppendUtf16AsUtf8(std::string& out, const char16_t* data, int32_t length) {
    int32_t i = 0;
    while (i < length) {
        UChar32 cp;
        U16_NEXT(data, i, length, cp);
        AppendUtf8(out, static_cast<char32_t>(cp));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        out.push_back(static_cast<char16_t>(0xD7C0 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
    }
}

// Upper-cases well-formed runs through ICU; ill-formed bytes pass through.
std::string UpperWithIcu(std::string_view input, const char* icuLocale) {
    std::string out;
    out.reserve(input.size());
    std::u16string run;
    std::u16string upper;
    const auto flush = [&] {
        if (run.empty()) return;
        upper.resize(run.size() + 8);
        UErrorCode status = U_ZERO_ERROR;
        int32_t length = u_strToUpper(upper.data(), static_cast<int32_t>(upper.size()), run.data(),
                                      static_cast<int32_t>(run.size()), icuLocale, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            upper.resize(static_cast<std::size_t>(length));
            status = U_ZERO_ERROR;
            length = u_strToUpper(upper.data(), static_cast<int32_t>(upper.size()), run.data(),
                                  static_cast<int32_t>(run.size()), icuLocale, &status);
        }
        if (U_FAILURE(status)) {
            AppendUtf16AsUtf8(out, run.data(), static_cast<int32_t>(run.size()));
        } else {
            AppendUtf16AsUtf8(out, upper.data(), length);
        }
        run.clear();
    };
    std::size_t pos = 0;
    while (pos < input.size()) {
        const std::size_t start = pos;
        const char32_t cp = NextCodePoint(input, pos);
        if (cp == kInvalidCodePoint) {
            flush();
            out.push_back(input[start]);
        } else {
            AppendUtf16(run, cp);
        }
    }
    flush();
    return out;
}

const icu::Normalizer2* Nfc() {
    static const icu::Normalizer2* nfc = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* instance = icu::Normalizer2::getNFCInstance(status);
        return U_SUCCESS(status) ? instance : nullptr;
    }();
    return nfc;
}

// Ranges the folding meets most (kana, common ideographs, the width forms)
// that NFC leaves alone and that never combine with what precedes them.
bool IsPlainForNfc(char32_t cp) {
    return cp < 0x300 || (cp >= 0x3041 && cp <= 0x3096) || (cp >= 0x309B && cp <= 0x30FF) ||
           (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xFF01 && cp <= 0xFFEE);
}

bool NeedsNfc(char32_t cp) {
    if (IsPlainForNfc(cp)) return false;
    const auto c = static_cast<UChar32>(cp);
    return u_getIntPropertyValue(c, UCHAR_NFC_QUICK_CHECK) != UNORM_YES || u_getCombiningClass(c) != 0;
}

// The folding rules on one well-formed run of code points; the result goes
// to `out`. ICU runs only when case folding or normalisation has work to do.
void FoldRun(const std::vector<char32_t>& cps, bool needIcu, bool ignoreCase, std::string& out) {
    if (!needIcu) {
        for (char32_t cp : cps) AppendUtf8(out, cp);
        return;
    }
    icu::UnicodeString run;
    for (char32_t cp : cps) run.append(static_cast<UChar32>(cp));
    if (ignoreCase) run.foldCase(U_FOLD_CASE_DEFAULT);
    if (const icu::Normalizer2* nfc = Nfc()) {
        UErrorCode status = U_ZERO_ERROR;
        if (!nfc->isNormalized(run, status) && U_SUCCESS(status)) {
            icu::UnicodeString normalized = nfc->normalize(run, status);
            if (U_SUCCESS(status)) run = normalized;
        }
    }
    run.toUTF8String(out);
}

void FoldInto(std::string_view input, DWORD flags, std::string& out) {
    const bool ignoreCase = (flags & NORM_IGNORECASE) != 0;
    const bool ignoreWidth = (flags & NORM_IGNOREWIDTH) != 0;
    const bool ignoreKana = (flags & NORM_IGNOREKANATYPE) != 0;
    out.clear();
    out.reserve(input.size() + 8);
    if (IsAscii(input)) {
        out.assign(input);
        if (ignoreCase) {
            for (char& c : out) {
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return;
    }
    thread_local std::vector<char32_t> cps;
    std::size_t pos = 0;
    while (pos < input.size()) {
        cps.clear();
        bool needIcu = false;
        bool stoppedAtInvalid = false;
        while (pos < input.size()) {
            char32_t cp = NextCodePoint(input, pos);
            if (cp == kInvalidCodePoint) {
                stoppedAtInvalid = true;
                break;
            }
            if (ignoreWidth) {
                if (const char32_t ascii = kana::FullwidthToAscii(cp)) {
                    cp = ascii;
                } else if (const char32_t wide = kana::HalfwidthKatakanaToFull(cp)) {
                    if ((cp == 0xFF9E || cp == 0xFF9F) && !cps.empty()) {
                        const char32_t mark = cp == 0xFF9E ? 0x3099 : 0x309A;
                        if (const char32_t composed = kana::ComposeSoundMark(cps.back(), mark)) {
                            cps.back() = composed;
                            continue;
                        }
                    }
                    cp = wide;
                } else if (const char32_t normal = kana::OtherWidthFormToNormal(cp)) {
                    cp = normal;
                }
            }
            if (ignoreKana) cp = kana::HiraganaToKatakana(cp);
            if (cp < 0x80) {
                if (ignoreCase && cp >= 'A' && cp <= 'Z') cp += 'a' - 'A';
            } else {
                if (ignoreCase && !IsCaselessCjk(cp) &&
                    u_hasBinaryProperty(static_cast<UChar32>(cp), UCHAR_CHANGES_WHEN_CASEFOLDED)) {
                    needIcu = true;
                }
                if (NeedsNfc(cp)) needIcu = true;
            }
            cps.push_back(cp);
        }
        FoldRun(cps, needIcu, ignoreCase, out);
        if (stoppedAtInvalid) out.push_back(input[pos - 1]);
    }
}

int CompareBytes(std::string_view a, std::string_view b) {
    const int c = a.compare(b);
    return c < 0 ? CSTR_LESS_THAN : (c == 0 ? CSTR_EQUAL : CSTR_GREATER_THAN);
}

}  // namespace

LCID GetUserDefaultLCID() {
    const char* name = FirstSetVariable({"LC_ALL", "LC_CTYPE", "LANG"});
    return name ? LcidFromLocaleName(name) : LOCALE_ENGLISH_US;
}

LCID GetThreadLocale() {
    if (t_threadLocale == 0) t_threadLocale = GetUserDefaultLCID();
    return t_threadLocale;
}

BOOL SetThreadLocale(LCID lcid) {
    if (lcid == LOCALE_USER_DEFAULT || lcid == LOCALE_SYSTEM_DEFAULT) {
        t_threadLocale = GetUserDefaultLCID();
        return TRUE;
    }
    if (FindByLcid(lcid) == nullptr) return FALSE;
    t_threadLocale = lcid;
    return TRUE;
}

LCID LcidFromLocaleName(std::string_view name) {
    // language[_TERRITORY][.codeset][@modifier]; "ja-JP" is accepted too.
    name = name.substr(0, std::min(name.find('.'), name.find('@')));
    const std::size_t separator = name.find_first_of("_-");
    const std::string_view language = name.substr(0, separator);
    const std::string_view territory =
        separator == std::string_view::npos ? std::string_view() : name.substr(separator + 1);
    const LocaleEntry* languageDefault = nullptr;
    for (const auto& entry : kLocales) {
        if (!EqualsIgnoringCase(entry.language, language)) continue;
        if (EqualsIgnoringCase(entry.territory, territory)) return entry.lcid;
        if (languageDefault == nullptr) languageDefault = &entry;
    }
    if (languageDefault != nullptr) return languageDefault->lcid;
    if (EqualsIgnoringCase(language, "no") || EqualsIgnoringCase(language, "nn")) return 0x0414;
    return LOCALE_ENGLISH_US;
}

bool IsJapaneseThreadLocale() { return PRIMARYLANGID(LANGIDFROMLCID(GetThreadLocale())) == LANG_JAPANESE; }

std::string CharUpper(std::string_view text) {
    const LocaleEntry& entry = EntryFor(GetThreadLocale());
    std::string result(text);
    if (TryUpperSimple(result, entry)) return result;
    return UpperWithIcu(text, entry.icuName);
}

void CharUpperInPlace(std::string& text) {
    const LocaleEntry& entry = EntryFor(GetThreadLocale());
    if (!TryUpperSimple(text, entry)) text = UpperWithIcu(text, entry.icuName);
}

int CompareStringA(LCID /*lcid*/, DWORD flags, std::string_view a, std::string_view b) {
    constexpr DWORD known = NORM_IGNORECASE | NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH | SORT_STRINGSORT;
    if ((flags & ~known) != 0) return 0;
    if (IsAscii(a) && IsAscii(b)) {
        if ((flags & NORM_IGNORECASE) == 0) return CompareBytes(a, b);
        const std::size_t common = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < common; ++i) {
            const auto lower = [](char c) {
                return static_cast<unsigned char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
            };
            const unsigned char x = lower(a[i]);
            const unsigned char y = lower(b[i]);
            if (x != y) return x < y ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
        }
        return a.size() == b.size() ? CSTR_EQUAL : (a.size() < b.size() ? CSTR_LESS_THAN : CSTR_GREATER_THAN);
    }
    // Reused per thread so repeated comparisons do not allocate.
    thread_local std::string foldA;
    thread_local std::string foldB;
    FoldInto(a, flags, foldA);
    FoldInto(b, flags, foldB);
    return CompareBytes(foldA, foldB);
}

std::string FoldForCompare(std::string_view text, DWORD flags) {
    std::string fold;
    FoldInto(text, flags, fold);
    return fold;
}

std::string ShortDatePattern(LCID lcid) { return EntryFor(lcid).shortDate; }

}  // namespace qel::platform
