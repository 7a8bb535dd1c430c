#pragma once

#include <clocale>
#include <locale.h>

// While it lives, printf-style formatting on this thread uses the C locale's numbers (a dot
// before the decimals, no grouping), whatever locale the process took from the desktop.
class CClassicNumbers {
public:
    CClassicNumbers() : m_previous(::uselocale(Classic())) {}
    ~CClassicNumbers() { ::uselocale(m_previous); }
    CClassicNumbers(const CClassicNumbers&) = delete;
    CClassicNumbers& operator=(const CClassicNumbers&) = delete;

private:
    static locale_t Classic() {
        static const locale_t s_classic = ::newlocale(LC_ALL_MASK, "C", locale_t{});
        return s_classic != locale_t{} ? s_classic : LC_GLOBAL_LOCALE;
    }

    locale_t m_previous;
};
