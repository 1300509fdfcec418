#pragma once

#include <foundation/Export.h>
#include <foundation/GString.h>

#include <vector>

// An ordered, growable array of GString. Elements are copied with GString's copying rule (text up to the
// first 0). When an insertion needs more room than is reserved, the reserve becomes 1.5 times the old
// reserve, or exactly what is needed when that is more.
//
// Indexes outside 0 to GetUpperBound(): GetAt and the const operator[] return an empty string; ElementAt and
// the non-const operator[] return a reference to a spare empty string owned by the array. The spare is
// emptied on every such access and stays valid as long as the array; text written into it is dropped.
class LFQ_FOUNDATION_API GStringArray {
 public:
  // An empty array.
  GStringArray();
  // A copy of the other array (as Copy).
  GStringArray(const GStringArray& other);
  // Releases all elements.
  ~GStringArray();
  // Copy; returns the array.
  GStringArray& operator=(const GStringArray& other);

  // The number of elements (both alike).
  int GetSize();
  int GetCount();
  // The number of elements minus 1 (-1 when empty).
  int GetUpperBound();

  // Appends one element and returns its index; a null text gives an empty element.
  int Add(const GString& text);
  int Add(const wchar_t* text);
  // Appends copies of all elements of the other array; given the array itself, appends the elements that
  // were there at the start (the array doubles).
  void Append(const GStringArray& other);
  // Removes all elements, then appends copies of all of the other's; given the array itself, changes
  // nothing.
  void Copy(const GStringArray& other);

  // A copy of the element; an empty string for an index outside 0 to GetUpperBound().
  GString GetAt(int index);
  GString operator[](int index) const;
  // A reference to the element (the spare empty string for an index out of range, see above).
  GString& ElementAt(int index);
  GString& operator[](int index);

  // Replaces the element's text; nothing for an index out of range.
  void SetAt(int index, const GString& text);
  // As SetAt, after growing the array with empty elements to index + 1 elements when the index is beyond the
  // end; nothing for a negative index.
  void SetAtGrow(int index, const GString& text);
  // Inserts count copies before the index (a negative index counts as 0); appends them when the index is
  // beyond the last element; nothing for a count of 0 or less.
  void InsertAt(int index, const GString& text, int count);
  // Inserts copies of all elements of the other array before the index (as above); nothing for a null array.
  void InsertAt(int index, GStringArray* other);
  // Removes count elements from index; the range is cut to the array; nothing when the count is not positive
  // or the index is negative or at or beyond the end.
  void RemoveAt(int index, int count);
  // Removes all elements.
  void RemoveAll();
  // Makes the array that long (a negative size counts as 0), adding empty elements or removing the last
  // ones; the growth step is not used.
  void SetSize(int size, int growBy);
  // Changes nothing.
  void FreeExtra();

 private:
  // Makes room for count more elements by the growth rule.
  LFQ_FOUNDATION_LOCAL void ReserveFor(std::size_t count);

  std::vector<GString> m_items;
  GString m_spare;
};
