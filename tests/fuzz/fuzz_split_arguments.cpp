// splitArguments / takeQuotedArgument and the narrow variant, against a small
// independent model of the rules: spaces separate (tabs do not), a double or single
// quote groups up to the next quote of the same kind, the grouped text joins what
// came before it in the argument, text after the closing quote starts a new one.
//
// Invariants: same arguments as the model; every argument's characters come from
// the input in order; an unterminated quote ends the process (code 1, message 1007)
// and nothing else does.
#include <cstdint>
#include <optional>
#include <string>

#include "FuzzCheck.h"
#include "config/Keys.h"
#include "fakes/FakePlatform.h"
#include "launch/Arguments.h"

using namespace kavrin;

namespace {

// nullopt: an unterminated quote.
std::optional<WideList> model(const std::u16string& text) {
    WideList args;
    std::u16string current;
    bool inArgument = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u' ') {
            if (inArgument) args.push_back(current);
            current.clear();
            inArgument = false;
        } else if (c == u'"' || c == u'\'') {
            const size_t closing = text.find(c, i + 1);
            if (closing == std::u16string::npos) return std::nullopt;
            current += text.substr(i + 1, closing - i - 1);
            args.push_back(current);
            current.clear();
            inArgument = false;
            i = closing;
        } else {
            current.push_back(c);
            inArgument = true;
        }
    }
    if (inArgument) args.push_back(current);
    return args;
}

// All arguments, concatenated, are a subsequence of the input.
bool fromInputInOrder(const std::u16string& text, const WideList& args) {
    size_t at = 0;
    for (const auto& arg : args) {
        for (char16_t c : arg) {
            at = text.find(c, at);
            if (at == std::u16string::npos) return false;
            ++at;
        }
    }
    return true;
}

struct Outcome {
    bool fatal = false;
    WideList args;
};

Outcome runWide(const std::u16string& text) {
    test::FakePlatform fake;
    Process ctx(fake.platform);
    Config config;
    config = config.with(key::kMsgWrongParameter, "Wrong Parameter Usage");
    Outcome o;
    try {
        splitArguments(ctx, config, text, o.args);
    } catch (const test::ProcessExit& exit) {
        FUZZ_CHECK(exit.code == 1, "unterminated quote ended with a code other than 1");
        FUZZ_CHECK(fake.console.boxes.size() == 1 && fake.console.boxes[0].first == "Wrong Parameter Usage",
                   "the fatal text is not message 1007");
        o.fatal = true;
    }
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Bytes as units, so the fuzzer reaches spaces and quotes easily; a leading 0xFF
    // byte switches to pairs of bytes as units, for text beyond Latin-1.
    std::u16string text;
    if (size > 0 && data[0] == 0xFF) {
        for (size_t i = 1; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    } else {
        for (size_t i = 0; i < size; ++i) text.push_back(static_cast<char16_t>(data[i]));
    }

    const auto expected = model(text);
    const Outcome wide = runWide(text);
    FUZZ_CHECK(wide.fatal == !expected.has_value(), "fatal exit and unterminated quote disagree");
    if (!wide.fatal) {
        FUZZ_CHECK(wide.args == *expected, "arguments differ from the model");
        FUZZ_CHECK(fromInputInOrder(text, wide.args), "argument text not taken from the input in order");
    }

    // The narrow variant over the same bytes (the fake code page is Latin-1).
    if (size == 0 || data[0] != 0xFF) {
        test::FakePlatform fake;
        Process ctx(fake.platform);
        Config config;
        NarrowList narrow;
        const std::string bytes(reinterpret_cast<const char*>(data), size);
        bool fatal = false;
        try {
            splitArgumentsNarrow(ctx, config, bytes, narrow);
        } catch (const test::ProcessExit& exit) {
            FUZZ_CHECK(exit.code == 1, "narrow split ended with a code other than 1");
            fatal = true;
        }
        FUZZ_CHECK(fatal == wide.fatal, "narrow and wide splitting disagree on failure");
        if (!fatal) {
            FUZZ_CHECK(narrow.size() == wide.args.size(), "narrow and wide argument counts differ");
            for (size_t i = 0; i < narrow.size(); ++i)
                FUZZ_CHECK(narrow[i] == narrowUnits(wide.args[i]), "narrow argument differs from the wide one");
        }
    }
    return 0;
}
