#pragma once

#include <QString>

#include <array>

// One item of the donation menu: its object name, its caption and the amount in US dollars.
struct DonationItem {
    const char* objectName;
    const char* caption;
    int amount;
};

// The items of the donation menu, in menu order.
inline constexpr std::array<DonationItem, 5> kDonationItems{{
    {"SimpleDonation21", "Simple Donation - $2", 2},
    {"BasicDonation51", "Basic Donation - $5", 5},
    {"SliverDonation101", "Sliver Donation - $10", 10},
    {"GoldDonation201", "Gold Donation - $20", 20},
    {"PlantinumDonation301", "Platinum Donation - $30", 30},
}};

// The recipient as the payment page expects it: every character other than letters, digits
// and "_" as "%" and two lower-case hex digits per UTF-8 byte ("a@b.c" -> "a%40b%2ec").
QString encodeRecipient(const QString& account);

// The payment page for one donation of amount US dollars to account.
QString paymentUrl(const QString& paymentHost, const QString& account, int amount);
