#include "reason.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace framesifter;

namespace {

// Values of the kinds a template asks for, unlike each other and holding the separators
// the templates use, so that a template that loses track of its places cannot pass.
std::vector<std::string> SampleValues(const char* kinds, std::size_t salt) {
    std::vector<std::string> values;
    for (std::size_t i = 0; kinds[i]; ++i) {
        const std::string n = std::to_string(salt * 10 + i + 1);
        switch (ValueKindOf(kinds[i])) {
        case ValueKind::Number:
            values.push_back(n);
            break;
        case ValueKind::Text:
            values.push_back("/data/night " + n + "/m 42.fit");
            break;
        case ValueKind::System:
            values.push_back("Input/output error (" + n + ")");
            break;
        case ValueKind::Nested:
            values.push_back(Reason(ReasonKind::TruncatedData, {n, "614400"}));
            break;
        }
    }
    return values;
}

std::size_t Places(const std::string& english) {
    std::size_t count = 0;
    for (std::size_t i = 0; i + 1 < english.size(); ++i)
        count += english[i] == '%' && english[i + 1] >= '1' && english[i + 1] <= '9';
    return count;
}

}  // namespace

TEST(Reasons, EveryTemplateGivesBackItsKindAndValues) {
    const std::vector<ReasonEntry>& catalogue = ReasonCatalogue();
    ASSERT_EQ(catalogue.size(), std::size_t(ReasonKind::Count));
    for (std::size_t k = 0; k < catalogue.size(); ++k) {
        const ReasonEntry& entry = catalogue[k];
        SCOPED_TRACE(entry.english);
        EXPECT_EQ(std::size_t(entry.kind), k) << "the table is out of the enum's order";
        EXPECT_EQ(Places(entry.english), std::strlen(entry.values));
        const std::vector<std::string> values = SampleValues(entry.values, k);
        const std::string english = FillTemplate(entry.english, values);
        ParsedReason parsed;
        ASSERT_TRUE(ParseReason(english, parsed)) << english;
        EXPECT_EQ(std::size_t(parsed.kind), k) << english;
        EXPECT_EQ(parsed.values, values) << english;
    }
}

TEST(Reasons, BuiltReasonsReadBack) {
    struct Case {
        std::string reason;
        ReasonKind kind;
        std::vector<std::string> values;
    };
    const Case cases[] = {
        {Reason(ReasonKind::TruncatedData, {306720, 614400}),
         ReasonKind::TruncatedData,
         {"306720", "614400"}},
        // A value that looks like a place stays as written.
        {Reason(ReasonKind::TargetExists, {"Good/%2 of %1.fit"}),
         ReasonKind::TargetExists,
         {"Good/%2 of %1.fit"}},
        // A reason within a reason keeps all of its own text, colons included.
        {Reason(ReasonKind::CannotRecord,
                {"/a: b/Good", Reason(ReasonKind::CannotOpen, {"Permission denied"})}),
         ReasonKind::CannotRecord,
         {"/a: b/Good", "cannot open: Permission denied"}},
        // An empty prefix is a value too.
        {Reason(ReasonKind::BitpixNotRead, {"", 12}), ReasonKind::BitpixNotRead, {"", "12"}},
        {Reason(ReasonKind::BitpixNotRead, {"Z", 12}), ReasonKind::BitpixNotRead, {"Z", "12"}},
        {Reason(ReasonKind::PlanesOutside, {"ZNAXIS", 0, 65535}),
         ReasonKind::PlanesOutside,
         {"ZNAXIS", "0", "65535"}},
        // The longer template wins over the one it contains.
        {Reason(ReasonKind::SignatureColour, {100, 100, 8, "JPEG"}),
         ReasonKind::SignatureColour,
         {"100", "100", "8", "JPEG"}},
        {Reason(ReasonKind::JpegWriteNoMemory), ReasonKind::JpegWriteNoMemory, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        ParsedReason parsed;
        ASSERT_TRUE(ParseReason(c.reason, parsed));
        EXPECT_EQ(parsed.kind, c.kind);
        EXPECT_EQ(parsed.values, c.values);
    }
}

TEST(Reasons, TextsNoTemplateBuildsAreNotTakenForOne) {
    for (const char* text : {"", "Permission denied", "std::bad_alloc", "cannot open",
                             "truncated of 2 data bytes present",
                             "truncated: x of 614400 data bytes present (more)"}) {
        ParsedReason parsed;
        // The last one reads as "<name>: <reason>" at most, never as a truncation.
        const bool known = ParseReason(text, parsed);
        EXPECT_TRUE(!known || parsed.kind == ReasonKind::PathProblem) << text;
    }
}
