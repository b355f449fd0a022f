// The DYNAMIC hash: a fixed table of class descriptors indexed by an MD5-based
// hash of the class name. No chaining or probing: a collision is fatal.
#include "core/core.h"

#include <md5.h>

#include <cstdlib>
#include <cstring>

namespace {
// Zero-initialised before any dynamic initialisation, so descriptors may
// register from any translation unit in any order.
CoreRuntimeClass* mDynHash[CoreRuntimeClass::DYNAMIC_HASH_NUM];
}  // namespace

VESPER_IMPLEMENT_DYNAMIC_IMPL(CoreObject, "CoreObject", nullptr, nullptr)

bool CoreObject::isKindOf(const char* pName) const {
  return getRuntimeClass()->isKindOf(pName);
}

bool CoreObject::isKindOf(const CoreRuntimeClass* pClass) const {
  return pClass != nullptr && isKindOf(pClass->getName());
}

uint32_t CoreRuntimeClass::hashIndex(const char* pName) {
  const size_t length = std::strlen(pName);
  char* pbuf = static_cast<char*>(std::malloc(length + 1));
  CoreDebug::criticalCheck(critical::kBadAlloc, pbuf != nullptr);
  std::memcpy(pbuf, pName, length + 1);

  unsigned char d[MD5_DIGEST_LENGTH];
  MD5_CTX ctx;
  MD5Init(&ctx);
  MD5Update(&ctx, reinterpret_cast<const unsigned char*>(pbuf), length);
  MD5Final(d, &ctx);
  std::free(pbuf);

  // Two big-endian 64-bit halves summed modulo 2^14: only each half's low
  // 16 bits can contribute.
  const uint32_t low1 = static_cast<uint32_t>(d[6]) << 8 | d[7];
  const uint32_t low2 = static_cast<uint32_t>(d[14]) << 8 | d[15];
  return (low1 + low2) % DYNAMIC_HASH_NUM;
}

CoreRuntimeClass::CoreRuntimeClass(const char* pName, CoreRuntimeClass* pParent)
    : mName(nullptr), mParent(nullptr) {
  CoreDebug::criticalCheck(critical::kNameNull, pName != nullptr);
  CoreDebug::criticalCheck(critical::kNameEmpty, pName[0] != '\0');
  mName = pName;
  mParent = pParent;
  const uint32_t hash = hashIndex(pName);
  CoreDebug::criticalCheck(critical::kHashConflict, !mDynHash[hash]);
  mDynHash[hash] = this;
}

CoreRuntimeClass::~CoreRuntimeClass() {
  if (mName) mDynHash[hashIndex(mName)] = nullptr;
}

bool CoreRuntimeClass::nameMatches(const char* registered, const char* requested) {
  return std::strncmp(registered, requested, std::strlen(registered)) == 0;
}

bool CoreRuntimeClass::isKindOf(const char* pName) const {
  if (pName == nullptr) return false;
  for (const CoreRuntimeClass* c = this; c != nullptr; c = c->mParent) {
    if (nameMatches(c->mName, pName)) return true;
  }
  return false;
}

CoreRuntimeClass* CoreRuntimeClass::findClass(const char* pName) {
  if (pName == nullptr) return nullptr;
  for (CoreRuntimeClass* c : mDynHash) {
    if (c != nullptr && nameMatches(c->mName, pName)) return c;
  }
  return nullptr;
}

CoreRuntimeClass* CoreRuntimeClass::slot(uint32_t index) {
  return index < DYNAMIC_HASH_NUM ? mDynHash[index] : nullptr;
}
