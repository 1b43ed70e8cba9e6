// The order in which people read a list of names: the collation of the
// thread locale's language (ICU), where accented and non-Latin letters sort
// beside their base letters ("Ábel" next to "Abel", not after "Zeta").
//
//   NameOrder order;                       // for qel::platform::GetThreadLocale()
//   std::stable_sort(rows.begin(), rows.end(),
//                    [&](auto& a, auto& b) { return order.Less(a.name, b.name); });
//
// It orders printed lists only. The patient set's name index keeps the
// component's own comparison, which its searches rely on.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct UCollator;

class NameOrder {
public:
    NameOrder();
    ~NameOrder();
    NameOrder(const NameOrder&) = delete;
    NameOrder& operator=(const NameOrder&) = delete;

    // True when `a` sorts before `b`. Without a collator (ICU could not
    // make one) this is the byte order of the texts.
    bool Less(std::string_view a, std::string_view b) const;

private:
    struct Close {
        void operator()(UCollator* collator) const;
    };
    std::unique_ptr<UCollator, Close> m_collator;
};
