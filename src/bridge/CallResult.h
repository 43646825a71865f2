#pragma once

#include <cstdint>
#include <string>

// Writes the tagged result text of the call in progress. Each setter replaces the whole text.
//   v: void, b: boolean ("b1"/"b"), d: integer, f: real ("%f"), s: text, e: error.
class CallResult {
public:
    explicit CallResult(std::string& text) : text_(text) {}

    void setVoid() { text_ = "v"; }
    void setString(const std::string& value) { text_ = "s" + value; }
    void setInt(int32_t value) { text_ = "d" + std::to_string(value); }
    void setUInt(uint32_t value) { text_ = "d" + std::to_string(value); }
    void setFloat(float value);
    void setBool(bool value) { text_ = value ? "b1" : "b"; }
    const std::string& text() const { return text_; }

private:
    std::string& text_;
};
