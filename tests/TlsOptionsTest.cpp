#include <TlsOptions.h>

#include <gtest/gtest.h>

namespace {

using Fault = TlsOptionsError::Fault;

TEST(TlsOptions, EachFileByItsName) {
    const auto parsed = ParseTlsOptions("key=/k/bench.key&ca=/etc/bench/ca.pem&cert=b%26c.pem");
    ASSERT_TRUE(std::holds_alternative<TlsOptions>(parsed));
    const auto& options = std::get<TlsOptions>(parsed);
    EXPECT_EQ(options.caFile, "/etc/bench/ca.pem");
    EXPECT_EQ(options.certFile, "b&c.pem");
    EXPECT_EQ(options.keyFile, "/k/bench.key");
}

TEST(TlsOptions, NoneMeansTheSystemsCasAndNoClientCertificate) {
    const auto parsed = ParseTlsOptions("");
    ASSERT_TRUE(std::holds_alternative<TlsOptions>(parsed));
    EXPECT_EQ(std::get<TlsOptions>(parsed).caFile, "");
    EXPECT_EQ(std::get<TlsOptions>(parsed).certFile, "");
}

struct Faulty {
    const char* name;
    const char* query;
    Fault fault;
    const char* item;
};

class TlsOptionsRefused : public ::testing::TestWithParam<Faulty> {};

TEST_P(TlsOptionsRefused, NamingTheItem) {
    const auto parsed = ParseTlsOptions(GetParam().query);
    ASSERT_TRUE(std::holds_alternative<TlsOptionsError>(parsed));
    EXPECT_EQ(std::get<TlsOptionsError>(parsed).fault, GetParam().fault);
    EXPECT_EQ(std::get<TlsOptionsError>(parsed).item, GetParam().item);
}

INSTANTIATE_TEST_SUITE_P(
    , TlsOptionsRefused,
    ::testing::Values(Faulty{"UnknownOption", "ca=a.pem&verify=no", Fault::Unknown, "verify=no"},
                      Faulty{"OptionsAreCaseSensitive", "CA=a.pem", Fault::Unknown, "CA=a.pem"},
                      Faulty{"UnknownFlag", "insecure", Fault::Unknown, "insecure"},
                      Faulty{"EmptyFile", "ca=", Fault::Empty, "ca="},
                      Faulty{"NameAlone", "cert", Fault::Empty, "cert"},
                      Faulty{"RepeatedOption", "ca=a.pem&ca=b.pem", Fault::Repeated, "ca=b.pem"},
                      Faulty{"CertificateWithoutKey", "ca=a.pem&cert=c.pem", Fault::CertAlone,
                             "cert=c.pem"},
                      Faulty{"KeyWithoutCertificate", "key=k.pem", Fault::CertAlone, "key=k.pem"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
