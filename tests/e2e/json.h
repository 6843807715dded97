#pragma once
// Just enough JSON to read the corpus's ground truth files.
#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  long long integer = 0;  // the data the tests read are whole numbers
  std::string text;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  // A member by name; a null value when there is none, so lookups can chain.
  const Json& operator[](const std::string& name) const;
  bool Has(const std::string& name) const;
};

// Throws std::runtime_error naming the offset of the first fault.
Json ParseJson(const std::string& text);

}  // namespace e2e
