// CString and CStringList: the class library's text and list-of-text types, over
// std::string. Text is a byte string (file names are passed to the system unchanged).
#pragma once

#include <cstring>
#include <list>
#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : s_(text ? text : "") {}
    CString(const char* text, int length) : s_(text ? std::string(text, length > 0 ? length : 0) : std::string()) {}
    CString(std::string text) : s_(std::move(text)) {}
    CString(char c, int repeat = 1) : s_(repeat > 0 ? repeat : 0, c) {}

    int GetLength() const { return static_cast<int>(s_.size()); }
    bool IsEmpty() const { return s_.empty(); }
    void Empty() { s_.clear(); }
    const char* GetString() const { return s_.c_str(); }
    operator const char*() const { return s_.c_str(); }
    std::string const& str() const { return s_; }
    char GetAt(int i) const { return s_.at(static_cast<size_t>(i)); }

    CString Left(int n) const { return s_.substr(0, n > 0 ? static_cast<size_t>(n) : 0); }
    CString Mid(int first) const { return first < GetLength() ? s_.substr(first > 0 ? first : 0) : std::string(); }
    CString Right(int n) const
    {
        if (n <= 0)
            return CString();
        return n >= GetLength() ? *this : CString(s_.substr(s_.size() - static_cast<size_t>(n)));
    }
    int Find(char c, int start = 0) const
    {
        size_t p = s_.find(c, start > 0 ? static_cast<size_t>(start) : 0);
        return p == std::string::npos ? -1 : static_cast<int>(p);
    }
    int ReverseFind(char c) const
    {
        size_t p = s_.rfind(c);
        return p == std::string::npos ? -1 : static_cast<int>(p);
    }
    CString& MakeLower()
    {
        for (char& c : s_)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return *this;
    }
    CString& MakeUpper()
    {
        for (char& c : s_)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return *this;
    }

    CString& operator=(const char* text) { s_ = text ? text : ""; return *this; }
    CString& operator+=(CString const& o) { s_ += o.s_; return *this; }
    CString& operator+=(const char* text) { s_ += text ? text : ""; return *this; }
    CString& operator+=(char c) { s_ += c; return *this; }

    friend CString operator+(CString a, CString const& b) { return a += b; }
    friend CString operator+(CString a, const char* b) { return a += b; }
    friend CString operator+(const char* a, CString const& b) { return CString(a) += b; }
    friend bool operator==(CString const& a, CString const& b) { return a.s_ == b.s_; }
    friend bool operator==(CString const& a, const char* b) { return a.s_ == (b ? b : ""); }
    friend bool operator!=(CString const& a, CString const& b) { return a.s_ != b.s_; }
    friend bool operator!=(CString const& a, const char* b) { return !(a == b); }
    friend bool operator<(CString const& a, CString const& b) { return a.s_ < b.s_; }

private:
    std::string s_;
};

// A position in a CStringList walk; null after the last element.
typedef struct CStringListPosition* POSITION;

class CStringList {
public:
    POSITION AddTail(CString const& s)
    {
        items_.push_back(s);
        return Encode(items_.size());
    }
    POSITION AddHead(CString const& s)
    {
        items_.push_front(s);
        return Encode(1);
    }
    int GetCount() const { return static_cast<int>(items_.size()); }
    bool IsEmpty() const { return items_.empty(); }
    void RemoveAll() { items_.clear(); }
    CString const& GetHead() const { return items_.front(); }
    CString const& GetTail() const { return items_.back(); }
    POSITION GetHeadPosition() const { return items_.empty() ? nullptr : Encode(1); }
    // Returns the element at pos and moves pos to the next one (null after the last).
    CString const& GetNext(POSITION& pos) const
    {
        size_t index = Decode(pos);
        auto it = items_.begin();
        std::advance(it, static_cast<long>(index - 1));
        pos = index < items_.size() ? Encode(index + 1) : nullptr;
        return *it;
    }
    std::list<CString> const& items() const { return items_; }

private:
    // Positions are 1-based element numbers, so that null marks the end of a walk.
    static POSITION Encode(size_t index) { return reinterpret_cast<POSITION>(index); }
    static size_t Decode(POSITION pos) { return reinterpret_cast<size_t>(pos); }
    std::list<CString> items_;
};
