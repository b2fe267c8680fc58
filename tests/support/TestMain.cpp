// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Tests must never read or write the real user's settings, library or keyring.
    QApplication::setOrganizationName(QStringLiteral("GlimraTest"));
    QApplication::setApplicationName(QStringLiteral("GlimraTest"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
