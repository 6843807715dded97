#pragma once
// How the program orders and matches names: files and folders, registry keys and values,
// INI sections and keys, watched paths. Every rule starts from the system's comparison,
// the user's locale with case ignored (CompareStringA, NORM_IGNORECASE); they differ in
// what they do with names that comparison holds equal.
#include <string>

namespace engines {

// Negative, zero or positive. 0 for names that differ in case alone or that the locale
// holds equal (ss and the sharp s); byte order where the system refuses to compare.
// The order of the disk and registry listings.
int CompareNames(const std::string& a, const std::string& b);

// A strict order: CompareNames, then the bytes where it holds two names equal, so that
// every name gets a place of its own. Registry keys and values as they are listed.
bool SortsBefore(const std::string& a, const std::string& b);

// CompareNames, then the upper-case text where it holds two names equal: equal only for
// names that differ in case alone, which the profile functions take for one name. The
// order of INI sections and keys.
int CompareIniNames(const std::string& a, const std::string& b);

// True when the names first differ (case ignored), after the same ASCII characters, in two
// letters, digits or dots of which a's comes first in upper case, or in a symbol of a's
// (other than the hyphen and the apostrophe) against a letter or digit of b's; or when a
// is b's beginning and b goes on in letters, digits and dots: the system's order for such
// names in most locales, told without calling it. False means CompareNames must decide.
// The readers check sibling order with it first: where a locale orders such names
// otherwise (Czech "ch") a sibling out of order may go unnoticed, but a listing in order is
// never refused.
bool BeforeByBytes(const std::string& a, const std::string& b);

// The system's comparison alone, without a tie rule: the order of the list editors'
// sorted lists, which is how their list boxes sort.
bool ListBoxBefore(const std::string& a, const std::string& b);

}  // namespace engines
