#include <foundation/GStringArray.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/src/array_growth.h"

namespace {

// The elements' texts in order.
std::vector<std::wstring> Texts(GStringArray& array) {
  std::vector<std::wstring> texts;
  for (int i = 0; i < array.GetSize(); ++i) texts.emplace_back(static_cast<const wchar_t*>(array.ElementAt(i)));
  return texts;
}

using Expected = std::vector<std::wstring>;

TEST(GStringArray, AddReturnsIndexesAndBoundsFollow) {
  GStringArray array;
  EXPECT_EQ(array.GetUpperBound(), -1);
  EXPECT_EQ(array.GetSize(), 0);
  EXPECT_EQ(array.Add(L"first"), 0);
  EXPECT_EQ(array.Add(GString(L"second")), 1);
  EXPECT_EQ(array.Add(static_cast<const wchar_t*>(nullptr)), 2);
  EXPECT_EQ(array.GetCount(), 3);
  EXPECT_EQ(array.GetUpperBound(), 2);
  EXPECT_EQ(Texts(array), (Expected{L"first", L"second", L""}));
}

TEST(GStringArray, ElementsAreCopiedUpToTheirFirstZero) {
  GString withZero(L"ab");
  withZero += L'\0';
  withZero += L'c';
  GStringArray array;
  array.Add(withZero);
  EXPECT_EQ(array.ElementAt(0).GetLength(), 2);
  array.Add(array.ElementAt(0));  // an element of the array itself
  EXPECT_EQ(Texts(array), (Expected{L"ab", L"ab"}));
}

TEST(GStringArray, OutOfRangeAccess) {
  GStringArray array;
  array.Add(L"only");
  GString outside = array.GetAt(1);
  EXPECT_EQ(outside.GetLength(), 0);
  const GStringArray& constant = array;
  GString negative = constant[-1];
  EXPECT_EQ(negative.GetLength(), 0);
  GString inside = array.GetAt(0);
  EXPECT_EQ(std::wstring(inside), L"only");

  // Writing through a reference outside the range changes no element; the next such access is empty again.
  GString& spare = array.ElementAt(5);
  spare = L"lost";
  EXPECT_EQ(Texts(array), (Expected{L"only"}));
  GString& again = array[-1];
  EXPECT_EQ(&again, &spare);
  EXPECT_EQ(again.GetLength(), 0);
  EXPECT_EQ(spare.GetLength(), 0);

  array.SetAt(1, GString(L"x"));
  array.SetAt(-1, GString(L"x"));
  array.SetAt(0, GString(L"changed"));
  EXPECT_EQ(Texts(array), (Expected{L"changed"}));
}

TEST(GStringArray, SetAtGrowFillsWithEmptyElements) {
  GStringArray array;
  array.SetAtGrow(3, GString(L"d"));
  EXPECT_EQ(Texts(array), (Expected{L"", L"", L"", L"d"}));
  array.SetAtGrow(1, GString(L"b"));
  array.SetAtGrow(-1, GString(L"never"));
  EXPECT_EQ(Texts(array), (Expected{L"", L"b", L"", L"d"}));
  array.SetAtGrow(5, array.ElementAt(1));  // the source is an element that may move
  EXPECT_EQ(Texts(array), (Expected{L"", L"b", L"", L"d", L"", L"b"}));
}

TEST(GStringArray, InsertAtCopiesAndAppendsBeyondTheEnd) {
  GStringArray array;
  array.Add(L"a");
  array.InsertAt(99, GString(L"z"), 2);
  EXPECT_EQ(Texts(array), (Expected{L"a", L"z", L"z"}));
  array.InsertAt(0, GString(L"<"), 1);
  array.InsertAt(1, GString(L"never"), 0);
  array.InsertAt(-5, GString(L"front"), 1);
  EXPECT_EQ(Texts(array), (Expected{L"front", L"<", L"a", L"z", L"z"}));
  array.InsertAt(1, array.ElementAt(4), 1);
  EXPECT_EQ(Texts(array), (Expected{L"front", L"z", L"<", L"a", L"z", L"z"}));

  GStringArray other;
  other.Add(L"1");
  other.Add(L"2");
  GStringArray target;
  target.Add(L"x");
  target.InsertAt(0, &other);
  target.InsertAt(99, &other);
  target.InsertAt(0, nullptr);
  EXPECT_EQ(Texts(target), (Expected{L"1", L"2", L"x", L"1", L"2"}));
  other.InsertAt(1, &other);
  EXPECT_EQ(Texts(other), (Expected{L"1", L"1", L"2", L"2"}));
}

TEST(GStringArray, RemoveAtCutsToTheArray) {
  GStringArray array;
  for (const wchar_t* text : {L"0", L"1", L"2", L"3", L"4"}) array.Add(text);
  array.RemoveAt(1, 2);
  EXPECT_EQ(Texts(array), (Expected{L"0", L"3", L"4"}));
  array.RemoveAt(3, 1);
  array.RemoveAt(-1, 1);
  array.RemoveAt(0, 0);
  array.RemoveAt(0, -2);
  EXPECT_EQ(Texts(array), (Expected{L"0", L"3", L"4"}));
  array.RemoveAt(1, 99);
  EXPECT_EQ(Texts(array), (Expected{L"0"}));
  array.RemoveAll();
  EXPECT_EQ(array.GetSize(), 0);
}

TEST(GStringArray, SetSizeGrowsAndShrinks) {
  GStringArray array;
  array.Add(L"a");
  array.SetSize(3, 100);
  EXPECT_EQ(Texts(array), (Expected{L"a", L"", L""}));
  array.SetSize(1, 0);
  EXPECT_EQ(Texts(array), (Expected{L"a"}));
  array.FreeExtra();
  EXPECT_EQ(Texts(array), (Expected{L"a"}));
  array.SetSize(-1, 0);
  EXPECT_EQ(array.GetSize(), 0);
}

TEST(GStringArray, CopyAppendAndThemselves) {
  GStringArray array;
  array.Add(L"a");
  array.Add(L"b");
  array.Append(array);  // the elements present at the start
  EXPECT_EQ(Texts(array), (Expected{L"a", L"b", L"a", L"b"}));
  array.Copy(array);
  EXPECT_EQ(Texts(array), (Expected{L"a", L"b", L"a", L"b"}));
  GStringArray& alias = array;
  array = alias;
  EXPECT_EQ(array.GetSize(), 4);

  GStringArray other;
  other.Add(L"old");
  other.Copy(array);
  EXPECT_EQ(Texts(other), (Expected{L"a", L"b", L"a", L"b"}));
  GStringArray copied(other);
  copied.Append(other);
  EXPECT_EQ(copied.GetSize(), 8);
  other = GStringArray();
  EXPECT_EQ(other.GetSize(), 0);
}

TEST(GStringArray, ReserveGrowsByHalfOrToWhatIsNeeded) {
  using foundation_detail::GrownReserve;
  EXPECT_EQ(GrownReserve(0, 1), 1u);
  EXPECT_EQ(GrownReserve(1, 2), 2u);  // 1.5 rounds down to 1, less than needed
  EXPECT_EQ(GrownReserve(4, 5), 6u);
  EXPECT_EQ(GrownReserve(10, 11), 15u);
  EXPECT_EQ(GrownReserve(10, 20), 20u);
  EXPECT_EQ(GrownReserve(10, 10), 10u);  // room enough: unchanged
}

}  // namespace
