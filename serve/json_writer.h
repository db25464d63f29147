// The JSON texts annot serve answers with, written front to back: values,
// arrays and objects, the commas and colons put in by the writer. Strings
// are escaped as JsonString does; numbers are written without the locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace annotserve {

class JsonWriter {
 public:
  JsonWriter& BeginObject() { return Open('{'); }
  JsonWriter& EndObject() { return Close('}'); }
  JsonWriter& BeginArray() { return Open('['); }
  JsonWriter& EndArray() { return Close(']'); }
  // The key of the next value inside an object.
  JsonWriter& Key(std::string_view key);

  JsonWriter& String(std::string_view text);
  JsonWriter& Int(int64_t value);
  JsonWriter& UInt(uint64_t value);
  // Six significant digits, as printf's %g writes them in the C locale;
  // null for a value that is not finite, which JSON cannot hold.
  JsonWriter& Number(double value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  // A JSON value made elsewhere, as it is.
  JsonWriter& Raw(std::string_view json);

  // Shorthands for a key and its value.
  JsonWriter& Field(std::string_view key, std::string_view text) { return Key(key).String(text); }
  JsonWriter& Field(std::string_view key, const char* text) { return Key(key).String(text); }
  JsonWriter& Field(std::string_view key, const std::string& text) { return Key(key).String(text); }
  JsonWriter& Field(std::string_view key, bool value) { return Key(key).Bool(value); }
  JsonWriter& Field(std::string_view key, int value) { return Key(key).Int(value); }
  JsonWriter& Field(std::string_view key, uint64_t value) { return Key(key).UInt(value); }

  const std::string& Text() const { return out_; }
  std::string Take() { return std::move(out_); }

 private:
  JsonWriter& Open(char bracket);
  JsonWriter& Close(char bracket);
  void BeforeValue();

  std::string out_;
  bool comma_ = false;  // the next value or key follows another
};

}  // namespace annotserve
