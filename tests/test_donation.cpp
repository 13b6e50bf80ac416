#include <gtest/gtest.h>

#include "panes/donation.h"

namespace {

QString expectedUrl(const char* amount) {
    return QStringLiteral(
               "https://www.paypal.com/cgi-bin/webscr?cmd=_xclick"
               "&business=donations%40clipvane%2eexample&item_name=Make%20A%20Donation"
               "&item_number=Clipvane&no_shipping=0&amount=") +
           QLatin1String(amount) +
           QStringLiteral(
               "&no_note=1&tax=0&currency_code=USD&lc=US&bn=PP%2dDonationsBF&charset=UTF%2d8");
}

TEST(Donation, EveryMenuItemOpensItsPaymentUrl) {
    struct Row {
        const char* objectName;
        const char* caption;
        const char* amount;
    };
    const Row rows[] = {
        {"SimpleDonation21", "Simple Donation - $2", "2"},
        {"BasicDonation51", "Basic Donation - $5", "5"},
        {"SliverDonation101", "Sliver Donation - $10", "10"},
        {"GoldDonation201", "Gold Donation - $20", "20"},
        {"PlantinumDonation301", "Platinum Donation - $30", "30"},
    };
    ASSERT_EQ(kDonationItems.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].objectName);
        const DonationItem& item = kDonationItems[i];
        EXPECT_STREQ(item.objectName, rows[i].objectName);
        EXPECT_STREQ(item.caption, rows[i].caption);
        EXPECT_EQ(paymentUrl(QStringLiteral("www.paypal.com"),
                             QStringLiteral("donations@clipvane.example"), item.amount),
                  expectedUrl(rows[i].amount));
    }
}

TEST(Donation, RecipientEncodesEverythingButWordCharactersAsLowerCaseUtf8Bytes) {
    EXPECT_EQ(encodeRecipient(QStringLiteral("Pay_Me-2@x.org")),
              QStringLiteral("Pay_Me%2d2%40x%2eorg"));
    // Characters that would end or extend the query must not survive unencoded.
    EXPECT_EQ(encodeRecipient(QStringLiteral("a&amount=1#b c")),
              QStringLiteral("a%26amount%3d1%23b%20c"));
    EXPECT_EQ(encodeRecipient(QString::fromUtf8("j\xc3\xb6rg@x.de")),
              QStringLiteral("j%c3%b6rg%40x%2ede"));
}

}  // namespace
