#include <qel/outside/records/ObjectSets.h>

#include <algorithm>

#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/LayoutData.h>
#include <qel/platform/Locale.h>

namespace {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The sort key of a field into `bytes`, with the entry flags of CPatientSet.
std::uint8_t FieldKey(std::string_view field, std::string& bytes) {
    bytes = CPatientSet::SortKey(field);
    std::uint8_t flags = 0;
    if (IsAscii(bytes)) flags |= CPatientSet::kAsciiKey;
    if (IsAscii(field)) {
        flags |= CPatientSet::kAsciiField;
        // Trimming also takes ideographic spaces, which an ASCII field cannot hold.
        if (field.find('@') == std::string_view::npos && (field.empty() || (!IsBlank(field.front()) && !IsBlank(field.back()))))
            flags |= CPatientSet::kPlainField;
    }
    return flags;
}

}  // namespace

std::string CPatientSet::SortKey(std::string_view text) {
    using namespace qel::platform;
    return FoldForCompare(CharUpper(text), NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH);
}

std::uint8_t CDoctorSet::IndexKey(int, const CQELObjectData* pObject, std::string& bytes) const {
    return FieldKey(static_cast<const CDoctorData*>(pObject)->m_strName, bytes);
}

std::uint8_t CMediaTypeSet::IndexKey(int, const CQELObjectData* pObject, std::string& bytes) const {
    NumberKey(pObject->m_lKey, bytes);
    return 0;
}

std::uint8_t CMediaSet::IndexKey(int, const CQELObjectData* pObject, std::string& bytes) const {
    NumberKey(pObject->m_lKey, bytes);
    return 0;
}

std::uint8_t CKeyOrderedSet::IndexKey(int, const CQELObjectData* pObject, std::string& bytes) const {
    NumberKey(pObject->m_lKey, bytes);
    return 0;
}

std::uint8_t CPatientSet::IndexKey(int nIndex, const CQELObjectData* pObject, std::string& bytes) const {
    const auto* patient = static_cast<const CPatientData*>(pObject);
    return FieldKey(nIndex == 0 ? patient->GetName() : patient->GetNumber(), bytes);
}

std::uint8_t CLayoutSet::IndexKey(int, const CQELObjectData* pObject, std::string& bytes) const {
    NumberKey(static_cast<const CLayoutData*>(pObject)->m_nPageID, bytes);
    return 0;
}
bool CDoctorSet::Accepts(const CQELObjectData* pObject) const { return pObject->IsKindOf<CDoctorData>(); }
bool CMediaTypeSet::Accepts(const CQELObjectData* pObject) const { return pObject->IsKindOf<CMediaTypeData>(); }
bool CMediaSet::Accepts(const CQELObjectData* pObject) const { return pObject->IsKindOf<CMediaData>(); }
bool CPatientSet::Accepts(const CQELObjectData* pObject) const { return pObject->IsKindOf<CPatientData>(); }
bool CLayoutSet::Accepts(const CQELObjectData* pObject) const { return pObject->IsKindOf<CLayoutData>(); }
