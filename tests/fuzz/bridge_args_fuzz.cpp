// libFuzzer entry: arbitrary bytes as every kind of bridge argument the modules parse:
// the call body itself, numbers and booleans, hex, UTF-8 text, JSON (options, endpoint
// records, lists), MIDI bytes to send and MIDI port names. Parsers may refuse by throwing;
// whatever they accept must satisfy the checks below.
#include "bridge/Arguments.h"
#include "bridge/CallOptions.h"
#include "base/Json.h"
#include "base/Text.h"
#include "midi/MIDIEndpointInfo.h"
#include "midi/MIDIOutputParser.h"
#include "webview/NativeRequest.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

template <class Parse>
void refusedByThrowing(Parse parse) {
    try {
        parse();
    } catch (const std::exception&) {
        // a refusal: the bridge turns it into an "e" result
    }
}

// Strict UTF-8 (no surrogates, no overlong forms, at most U+10FFFF).
bool validUtf8(const std::string& text) {
    static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t extra;
        if (c < 0x80) extra = 0;
        else if ((c >> 5) == 6) extra = 1;
        else if ((c >> 4) == 14) extra = 2;
        else if ((c >> 3) == 30) extra = 3;
        else return false;
        if (extra > n - 1 - i) return false;
        uint32_t code = extra == 0 ? c : c & (0x3fu >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xc0) != 0x80) return false;
            code = (code << 6) | (d & 0x3f);
        }
        if (code < least[extra] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // The call body: a JSON array of strings, or refused.
    std::vector<std::string> args;
    if (parseNativeCall(text, args)) require(!args.empty() || text.find('[') != std::string::npos);

    // Numbers and booleans as every module reads them.
    refusedByThrowing([&] { toInt(text); });
    refusedByThrowing([&] { toInt64(text); });
    refusedByThrowing([&] { toULong(text); });
    refusedByThrowing([&] { toDouble(text); });
    refusedByThrowing([&] { toFloat(text); });
    toBool(text);

    // Hex: what is encoded decodes back; any text decodes to half its length.
    require(hexDecode(hexEncode(text)) == text);
    require(hexDecode(text).size() == text.size() / 2);

    // Text for the page is always valid UTF-8.
    require(validUtf8(utf8Sanitize(text)));
    const std::string upToZero = utf8UpToZero(text);
    require(validUtf8(upToZero) && upToZero.find('\0') == std::string::npos);
    require(utf8CompletePrefix(text) <= text.size());

    // JSON: what parses serialises to text that parses back to the same text.
    refusedByThrowing([&] {
        const std::string once = jsonText(parseJson(text));
        require(jsonText(parseJson(once)) == once);
    });
    // Option objects and lists.
    refusedByThrowing([&] {
        int64_t offset = 0, length = 0;
        readRangeOption(text, offset, length);
        require(offset >= INT32_MIN && offset <= INT32_MAX && length >= INT32_MIN && length <= INT32_MAX);
    });
    refusedByThrowing([&] { stringListOption(text); });
    // An endpoint record as the MIDI modules read it (members looked up, then typed).
    refusedByThrowing([&] {
        Json value = parseJson(text);
        if (value.is_object()) {
            MIDIEndpointInfo endpoint;
            endpoint.deviceName = value.at("MIDIDeviceNameKey").get<std::string>();
            endpoint.uid = value.at("MIDIEndpointUIDKey").get<std::string>();
        }
    });

    // MIDI bytes to send: short messages of at most 3 bytes, SysEx within its limit.
    MIDIOutputParser parser;
    parser.parse(data, size, [](const uint8_t* message, size_t length, bool isLong) {
        require(message != nullptr && length > 0);
        require(isLong ? length <= MIDIOutputParser::kSysExLimit && message[length - 1] == 0xF7 : length <= 3);
    });
    // A port name as the MIDI system lists it.
    MIDIEndpointInfo::fromPortName(text);
    MIDIEndpointInfo::portPath(text);
    return 0;
}
