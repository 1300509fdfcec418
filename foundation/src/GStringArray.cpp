#include <foundation/GStringArray.h>

#include <algorithm>

#include "array_growth.h"

namespace {

bool InRange(int index, std::size_t size) { return index >= 0 && static_cast<std::size_t>(index) < size; }

}  // namespace

GStringArray::GStringArray() = default;

GStringArray::GStringArray(const GStringArray& other) { Copy(other); }

GStringArray::~GStringArray() = default;

GStringArray& GStringArray::operator=(const GStringArray& other) {
  Copy(other);
  return *this;
}

void GStringArray::ReserveFor(std::size_t count) {
  const std::size_t reserve = foundation_detail::GrownReserve(m_items.capacity(), m_items.size() + count);
  if (reserve != m_items.capacity()) m_items.reserve(reserve);
}

int GStringArray::GetSize() { return static_cast<int>(m_items.size()); }

int GStringArray::GetCount() { return GetSize(); }

int GStringArray::GetUpperBound() { return GetSize() - 1; }

int GStringArray::Add(const GString& text) {
  // Copied before growing: text may be an element of this array.
  const GString copy(text);  // NOLINT(performance-unnecessary-copy-initialization): text may alias an element
  ReserveFor(1);
  m_items.push_back(copy);
  return GetUpperBound();
}

int GStringArray::Add(const wchar_t* text) { return Add(GString(text)); }

void GStringArray::Append(const GStringArray& other) {
  // For the array itself, only the elements present at the start are appended; after the reserve no
  // reallocation happens, so they stay in place while they are copied.
  const std::size_t count = other.m_items.size();
  ReserveFor(count);
  for (std::size_t i = 0; i < count; ++i) m_items.push_back(other.m_items[i]);
}

void GStringArray::Copy(const GStringArray& other) {
  if (&other == this) return;
  m_items.clear();
  Append(other);
}

GString GStringArray::GetAt(int index) { return static_cast<const GStringArray&>(*this)[index]; }

GString GStringArray::operator[](int index) const {
  return InRange(index, m_items.size()) ? m_items[static_cast<std::size_t>(index)] : GString();
}

GString& GStringArray::ElementAt(int index) {
  if (InRange(index, m_items.size())) return m_items[static_cast<std::size_t>(index)];
  m_spare.Empty();
  return m_spare;
}

GString& GStringArray::operator[](int index) { return ElementAt(index); }

void GStringArray::SetAt(int index, const GString& text) {
  if (InRange(index, m_items.size())) m_items[static_cast<std::size_t>(index)] = text;
}

void GStringArray::SetAtGrow(int index, const GString& text) {
  if (index < 0) return;
  const auto at = static_cast<std::size_t>(index);
  if (at >= m_items.size()) {
    const GString copy(text);  // NOLINT(performance-unnecessary-copy-initialization): text may alias an element
    ReserveFor(at + 1 - m_items.size());
    m_items.resize(at + 1);
    m_items[at] = copy;
  } else {
    m_items[at] = text;
  }
}

void GStringArray::InsertAt(int index, const GString& text, int count) {
  if (count <= 0) return;
  const GString copy(text);  // NOLINT(performance-unnecessary-copy-initialization): text may alias an element
  const std::size_t at = std::min(index > 0 ? static_cast<std::size_t>(index) : 0, m_items.size());
  ReserveFor(static_cast<std::size_t>(count));
  m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::size_t>(count), copy);
}

void GStringArray::InsertAt(int index, GStringArray* other) {
  if (other == nullptr) return;
  // Copies first: other may be this array.
  const std::vector<GString> copies(other->m_items);
  const std::size_t at = std::min(index > 0 ? static_cast<std::size_t>(index) : 0, m_items.size());
  ReserveFor(copies.size());
  m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(at), copies.begin(), copies.end());
}

void GStringArray::RemoveAt(int index, int count) {
  if (count <= 0 || !InRange(index, m_items.size())) return;
  const auto first = static_cast<std::size_t>(index);
  const std::size_t last = std::min(first + static_cast<std::size_t>(count), m_items.size());
  m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(first),
                m_items.begin() + static_cast<std::ptrdiff_t>(last));
}

void GStringArray::RemoveAll() { m_items.clear(); }

void GStringArray::SetSize(int size, int) {
  const std::size_t wanted = size > 0 ? static_cast<std::size_t>(size) : 0;
  if (wanted > m_items.size()) ReserveFor(wanted - m_items.size());
  m_items.resize(wanted);
}

void GStringArray::FreeExtra() {}
