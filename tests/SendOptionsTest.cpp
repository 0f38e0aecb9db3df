// The command line's parts without a port: its arguments, its UTF-8, its progress line
// (its failure lines are worded with the window's, in ErrorBoxTest).
#include <PanelCommands.h>
#include <Progress.h>
#include <SendOptions.h>
#include <Transcript.h>
#include <Utf8.h>

#include <gtest/gtest.h>

namespace {

std::variant<SendOptions, UsageError> Parse(const std::vector<std::string_view>& args) {
    return ParseSendOptions(args);
}

SendOptions Parsed(const std::vector<std::string_view>& args) {
    auto result = Parse(args);
    if (const auto* error = std::get_if<UsageError>(&result))
        ADD_FAILURE() << error->message;
    return std::get_if<SendOptions>(&result) ? std::get<SendOptions>(result) : SendOptions{};
}

std::vector<std::string> Bytes(const SendOptions& options) {
    std::vector<std::string> bytes;
    bytes.reserve(options.items.size());
    for (const SendItem& item : options.items)
        bytes.push_back(item.fromStandardInput ? "<stdin>" : item.bytes);
    return bytes;
}

TEST(SendOptionsTest, OptionsAndItemsMixInAnyOrderInGnuFashion) {
    const SendOptions options = Parsed(
        {"-cl", "3=off", "Text", "--ba=9600", "-", "--le=1=Blink", "-pCOM4", "--", "--clear", "-"});
    EXPECT_EQ(options.action, SendAction::Send);
    EXPECT_EQ(options.baud, 9600);
    EXPECT_STREQ(options.port.portName, "COM4:");
    EXPECT_EQ(options.port.device, "");
    EXPECT_EQ(Bytes(options),
              (std::vector<std::string>{ClearCommand(), LedCommand(2, LedMode::Off), "Text",
                                        "<stdin>", LedCommand(0, LedMode::Blink), "--clear", "-"}));
}

TEST(SendOptionsTest, PortNamesAndDevicePaths) {
    EXPECT_STREQ(Parsed({"--port", "com2:", "x"}).port.portName, "COM2:");
    EXPECT_STREQ(Parsed({"x"}).port.portName, "COM1:");
    const PortChoice path = Parsed({"--port", "/dev/ttyUSB0", "x"}).port;
    EXPECT_EQ(path.device, "/dev/ttyUSB0");
    EXPECT_STREQ(path.portName, "COM1:");
    EXPECT_EQ(Parsed({"--port", "COM5", "x"}).port.device, "COM5") << "no such name: a path";
}

TEST(SendOptionsTest, WrongArgumentsAreUsageErrors) {
    const std::vector<std::vector<std::string_view>> wrong = {
        {"--led", "4=an"},   {"--led", "0=an"},  {"--led", "2=hell"}, {"--led", "2"},
        {"--led=22=an"},     {"--baud", "1234"}, {"--baud=96000"},    {"--baud", "9600x"},
        {"--baud"},          {"--port=", "x"},   {"--clear=1"},       {"--l"},
        {"--nichts", "x"},   {"-x", "x"},        {"--list", "x"},     {},
        {"--baud", "38400"},
    };
    for (const auto& args : wrong)
        EXPECT_TRUE(std::holds_alternative<UsageError>(Parse(args)))
            << testing::PrintToString(args);
}

TEST(SendOptionsTest, HelpAndVersionActWhereTheyStand) {
    EXPECT_EQ(Parsed({"--help", "--led", "9=x"}).action, SendAction::Help);
    EXPECT_EQ(Parsed({"--vers"}).action, SendAction::Version);
    EXPECT_EQ(Parsed({"--list", "--port", "COM2"}).action, SendAction::List);
    EXPECT_TRUE(std::holds_alternative<UsageError>(Parse({"--led", "9=x", "--help"})));
}

TEST(Utf8Test, WellFormedTextDecodesAndEveryBadByteBecomesOneQuestionMark) {
    EXPECT_EQ(DecodeUtf8("A\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80"), U"Aä€😀");
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"\x80", "?"},   // stray continuation byte
        {"a\xC3", "a?"}, // cut off at the end
        {"\xE2\x82"
         "b",
         "??b"},                      // cut off before the next character
        {"\xC0\xAF", "??"},           // overlong "/"
        {"\xE0\x80\xAF", "???"},      // overlong in three bytes
        {"\xED\xA0\x80", "???"},      // a surrogate
        {"\xF4\x90\x80\x80", "????"}, // past U+10FFFF
        {"\xFF\xC3\xA4", "?\xE4"},    // the good sequence after a bad byte survives
    };
    for (const auto& [in, out] : bad)
        EXPECT_EQ(ToTranscriptBytes(DecodeUtf8(in)), out) << testing::PrintToString(in);
}

TEST(ProgressTest, LineShowsSentTotalAndMinutesAndSecondsLeft) {
    EXPECT_EQ(ProgressLine(120, 5000, std::chrono::seconds(75)),
              "kelmora-send: 120 von 5000 Zeichen gesendet, noch 1:15");
    EXPECT_EQ(ProgressLine(0, 10, std::chrono::seconds(0)),
              "kelmora-send: 0 von 10 Zeichen gesendet, noch 0:00");
}

} // namespace
