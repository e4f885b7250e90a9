// A guard that switches the calling thread to the C locale while it lives, so that numbers in
// files and logs never depend on the locale a GUI toolkit installed for the process.
// Any thread may use it; it changes only the calling thread's locale.
#pragma once

#include <locale.h>

namespace zmr {

class CNumericLocale {
 public:
  CNumericLocale() {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (cLocale != static_cast<locale_t>(0)) previous_ = uselocale(cLocale);
  }
  ~CNumericLocale() {
    if (previous_ != static_cast<locale_t>(0)) uselocale(previous_);
  }
  CNumericLocale(const CNumericLocale&) = delete;
  CNumericLocale& operator=(const CNumericLocale&) = delete;

 private:
  locale_t previous_ = static_cast<locale_t>(0);
};

}  // namespace zmr
