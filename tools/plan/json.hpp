// A small JSON writer: compact output, commas placed for the caller, strings
// escaped so that any byte sequence yields valid JSON (bytes that are not valid
// UTF-8 become U+FFFD).
#ifndef ZERIN_PLAN_JSON_HPP
#define ZERIN_PLAN_JSON_HPP

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zerin::plan {

// Appends `text` as a JSON string literal, quotes included.
void append_json_string(std::string& out, std::string_view text);

class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  void begin_object();
  void end_object();
  void begin_array();
  void end_array();
  // The key of the next member of the current object.
  void key(std::string_view name);

  void value(std::string_view text);
  void value(const char* text) { value(std::string_view{text}); }
  void value(std::uint64_t number);
  void value(std::uint32_t number) { value(std::uint64_t{number}); }
  void value(std::uint16_t number) { value(std::uint64_t{number}); }
  void value(std::int64_t number);
  void value(bool flag);
  void null();

  // Both at once, for objects.
  template <class T>
  void member(std::string_view name, const T& v) {
    key(name);
    value(v);
  }

 private:
  void before_value();

  std::string& out_;
  // One entry per open container: whether it already holds an element.
  std::vector<bool> has_element_;
  bool after_key_ = false;
};

}  // namespace zerin::plan

#endif  // ZERIN_PLAN_JSON_HPP
