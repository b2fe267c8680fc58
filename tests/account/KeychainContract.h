#pragma once

#include "account/KeychainHelper.h"

#include <QByteArray>

// Each store's test binary says which store it checks and how to look at it from outside.
namespace glimra::test {

KeychainHelper::Backend backendUnderTest();
bool storeUnderTestAvailable();
// Items (or files) the store holds for its service and account.
int storedItemCount(const KeychainHelper& store);
QByteArray storedBytes(const KeychainHelper& store);
// Writes bytes the way another program might, bypassing the helper.
void writeRawItem(const KeychainHelper& store, const QByteArray& bytes);

} // namespace glimra::test
