// The script value: reference-counted UTF-16 strings, the intrusive
// reference-counted object base, the 16-byte Variant slot with its kind codes,
// conversions, operators and comparisons, and number <-> text conversion.
#pragma once

#include <atomic>
#include <cmath>
#include <compare>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// ---------------------------------------------------------------------------
// Reference-counted objects
// ---------------------------------------------------------------------------

// Base of everything a Variant can hold by reference (script objects,
// interfaces, dynamic arrays, function pointers) and of programs and
// executions. The count is atomic because programs and shared tables cross
// threads; an uncontended atomic increment is cheap enough for the rest.
// A new object starts with a count of 0: the first TRefPtr (or Variant) that
// takes it owns it.
class TRefCountedObject {
public:
    TRefCountedObject() = default;
    TRefCountedObject(const TRefCountedObject&) = delete;
    TRefCountedObject& operator=(const TRefCountedObject&) = delete;
    virtual ~TRefCountedObject() = default;

    void AddRef() const noexcept { FRefCount.fetch_add(1, std::memory_order_relaxed); }
    // Frees the object when the last reference goes; answers the new count.
    int32_t Release() const noexcept
    {
        const int32_t count = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (count == 0)
            delete this;
        return count;
    }
    int32_t RefCount() const noexcept { return FRefCount.load(std::memory_order_relaxed); }

private:
    mutable std::atomic<int32_t> FRefCount{0};
};

// Owning smart pointer over a TRefCountedObject (or a descendant).
template <class T> class TRefPtr final {
public:
    TRefPtr() noexcept = default;
    TRefPtr(std::nullptr_t) noexcept {}
    TRefPtr(T* object) noexcept : FObject(object)
    {
        if (FObject)
            FObject->AddRef();
    }
    TRefPtr(const TRefPtr& other) noexcept : TRefPtr(other.FObject) {}
    TRefPtr(TRefPtr&& other) noexcept : FObject(std::exchange(other.FObject, nullptr)) {}
    template <class U>
    requires std::convertible_to<U*, T*> TRefPtr(const TRefPtr<U>& other)
    noexcept : TRefPtr(other.Get()) {}
    ~TRefPtr()
    {
        if (FObject)
            FObject->Release();
    }
    TRefPtr& operator=(TRefPtr other) noexcept
    {
        std::swap(FObject, other.FObject);
        return *this;
    }

    T* Get() const noexcept { return FObject; }
    T* operator->() const noexcept { return FObject; }
    T& operator*() const noexcept { return *FObject; }
    explicit operator bool() const noexcept { return FObject != nullptr; }
    void Reset() noexcept { TRefPtr().Swap(*this); }
    void Swap(TRefPtr& other) noexcept { std::swap(FObject, other.FObject); }
    friend bool operator==(const TRefPtr& a, const TRefPtr& b) { return a.FObject == b.FObject; }
    friend bool operator==(const TRefPtr& a, std::nullptr_t) { return a.FObject == nullptr; }

private:
    T* FObject = nullptr;
};

template <class T, class... Args> TRefPtr<T> MakeRef(Args&&... args)
{
    return TRefPtr<T>(new T(std::forward<Args>(args)...));
}

// ---------------------------------------------------------------------------
// UnicodeString
// ---------------------------------------------------------------------------

// The run-time string: UTF-16, reference-counted with an atomic count,
// copy-on-write. The empty string is a null pointer and allocates nothing,
// so clearing a string or a Variant never touches the heap. The text is
// always followed by a 0 code unit, but a 0 inside the text is an ordinary
// character: the length is what counts.
class UnicodeString final {
public:
    UnicodeString() noexcept = default;
    UnicodeString(std::u16string_view text);
    UnicodeString(const char16_t* text) : UnicodeString(std::u16string_view(text)) {}
    UnicodeString(const std::u16string& text) : UnicodeString(std::u16string_view(text)) {}
    UnicodeString(const UnicodeString& other) noexcept : FRec(other.FRec)
    {
        if (FRec)
            FRec->RefCount.fetch_add(1, std::memory_order_relaxed);
    }
    UnicodeString(UnicodeString&& other) noexcept : FRec(std::exchange(other.FRec, nullptr)) {}
    ~UnicodeString() { ReleaseRec(FRec); }
    UnicodeString& operator=(const UnicodeString& other) noexcept
    {
        UnicodeString(other).Swap(*this);
        return *this;
    }
    UnicodeString& operator=(UnicodeString&& other) noexcept
    {
        UnicodeString(std::move(other)).Swap(*this);
        return *this;
    }

    // A string of `length` code units, all 0, ready to be filled through Data().
    static UnicodeString OfLength(size_t length);

    bool IsEmpty() const noexcept { return FRec == nullptr; }
    size_t Length() const noexcept { return FRec ? static_cast<size_t>(FRec->Length) : 0; }
    // Never null; the empty string gives a pointer to a 0 code unit.
    const char16_t* Text() const noexcept { return FRec ? FRec->Chars : EmptyText; }
    // Writable text; makes the string unique first (copy-on-write). The
    // empty string has no characters to write.
    char16_t* Data();
    char16_t operator[](size_t index) const noexcept { return FRec->Chars[index]; }

    std::u16string_view View() const noexcept { return {Text(), Length()}; }
    operator std::u16string_view() const noexcept { return View(); }
    std::u16string ToU16String() const { return std::u16string(View()); }

    // Keeps the first characters, pads with 0 code units when growing.
    void SetLength(size_t length);
    UnicodeString& Append(std::u16string_view text);
    UnicodeString& operator+=(std::u16string_view text) { return Append(text); }
    UnicodeString& operator+=(char16_t c) { return Append(std::u16string_view(&c, 1)); }
    void Clear() noexcept { UnicodeString().Swap(*this); }
    void Swap(UnicodeString& other) noexcept { std::swap(FRec, other.FRec); }

    // True when both share one buffer (or are both empty): interning tests use it.
    bool SameInstance(const UnicodeString& other) const noexcept { return FRec == other.FRec; }
    int32_t RefCount() const noexcept
    {
        return FRec ? FRec->RefCount.load(std::memory_order_relaxed) : 0;
    }

    friend bool operator==(const UnicodeString& a, const UnicodeString& b) noexcept
    {
        return a.FRec == b.FRec || a.View() == b.View();
    }
    friend bool operator==(const UnicodeString& a, std::u16string_view b) noexcept
    {
        return a.View() == b;
    }
    friend bool operator==(const UnicodeString& a, const char16_t* b) noexcept
    {
        return a.View() == std::u16string_view(b);
    }
    // Ordinal comparison by code unit.
    friend std::strong_ordering operator<=>(const UnicodeString& a, const UnicodeString& b) noexcept
    {
        return a.View() <=> b.View();
    }
    friend UnicodeString operator+(std::u16string_view a, const UnicodeString& b);
    friend UnicodeString operator+(const UnicodeString& a, std::u16string_view b);
    friend UnicodeString operator+(const UnicodeString& a, const UnicodeString& b);

private:
    struct TRec {
        std::atomic<int32_t> RefCount;
        int32_t Length;
        char16_t Chars[1]; // really Length + 1 code units
    };
    static constexpr char16_t EmptyText[1] = {0};
    static TRec* AllocRec(size_t length);
    static void ReleaseRec(TRec* rec) noexcept;

    TRec* FRec = nullptr;
};

template <> struct std::hash<UnicodeString> {
    size_t operator()(const UnicodeString& s) const noexcept
    {
        return std::hash<std::u16string_view>()(s.View());
    }
};

// Concatenation of views into one new string (one allocation).
UnicodeString Concat(std::u16string_view a, std::u16string_view b);
// A one-character string. Loops that walk a text read it one character at a
// time: the Latin-1 ones are shared strings, so reading them allocates nothing.
UnicodeString CharToString(char16_t c);

// ---------------------------------------------------------------------------
// Variant kind codes
// ---------------------------------------------------------------------------

using TVarType = uint16_t;

// clang-format off
inline constexpr TVarType varEmpty     = 0x0000;
inline constexpr TVarType varNull      = 0x0001;
inline constexpr TVarType varSmallint  = 0x0002;
inline constexpr TVarType varInteger   = 0x0003;
inline constexpr TVarType varSingle    = 0x0004;
inline constexpr TVarType varDouble    = 0x0005;
inline constexpr TVarType varCurrency  = 0x0006;
inline constexpr TVarType varDate      = 0x0007;
inline constexpr TVarType varOleStr    = 0x0008;
inline constexpr TVarType varDispatch  = 0x0009;
inline constexpr TVarType varError     = 0x000A;
inline constexpr TVarType varBoolean   = 0x000B;
inline constexpr TVarType varVariant   = 0x000C;
inline constexpr TVarType varUnknown   = 0x000D;
inline constexpr TVarType varShortInt  = 0x0010;
inline constexpr TVarType varByte      = 0x0011;
inline constexpr TVarType varWord      = 0x0012;
inline constexpr TVarType varLongWord  = 0x0013;
inline constexpr TVarType varInt64     = 0x0014;
inline constexpr TVarType varStrArg    = 0x0048;
inline constexpr TVarType varAny       = 0x0101;
inline constexpr TVarType varString    = 0x0102; // the 16-bit string kind scripts see
inline constexpr TVarType varUString   = 0x0102;
inline constexpr TVarType varTypeMask  = 0x0FFF;
inline constexpr TVarType varArray     = 0x2000;
inline constexpr TVarType varByRef     = 0x4000;
// clang-format on

// Display name of a kind ("Empty", "Null", "Int64", "Double", "String", ...),
// as used in conversion error messages.
std::u16string VarTypeName(TVarType type);

// ---------------------------------------------------------------------------
// Variant
// ---------------------------------------------------------------------------

// One 16-byte slot: a kind code and an 8-byte payload. Scripts use only
// Empty (Unassigned), Null, Int64, Double, Boolean, String and Unknown
// (objects, interfaces, dynamic arrays, function pointers).
//
// Conversions follow the documented variant rules: Unassigned gives 0, 0.0,
// '' and False; Null raises the cast error (VarToStr gives ''); True is -1;
// floats round half to even into the 64-bit range; strings use the integer
// grammar, then the float grammar; objects convert to nothing scalar.
// Failed conversions raise EVariantTypeCastError.
class Variant final {
public:
    Variant() noexcept : FType(varEmpty), FInt(0) {}
    Variant(std::int64_t value) noexcept : FType(varInt64), FInt(value) {}
    template <std::integral T>
    requires(
        !std::same_as<
            T,
            bool> && !std::same_as<T, char16_t> && !std::same_as<T, char> && !std::same_as<T, std::int64_t>)
        Variant(T value)
    noexcept : FType(varInt64), FInt(static_cast<std::int64_t>(value)) {}
    Variant(double value) noexcept : FType(varDouble), FFloat(value) {}
    Variant(bool value) noexcept : FType(varBoolean), FBool(value) {}
    Variant(const UnicodeString& value) noexcept : FType(varUString), FStr(value) {}
    Variant(UnicodeString&& value) noexcept : FType(varUString), FStr(std::move(value)) {}
    Variant(std::u16string_view value) : FType(varUString), FStr(value) {}
    Variant(const char16_t* value) : FType(varUString), FStr(value) {}
    Variant(const std::u16string& value) : FType(varUString), FStr(value) {}
    Variant(std::nullptr_t) noexcept : FType(varUnknown), FObj(nullptr) {}
    // Takes a reference; nullptr gives a nil reference (kind Unknown).
    Variant(TRefCountedObject* object) noexcept : FType(varUnknown), FObj(object)
    {
        if (FObj)
            FObj->AddRef();
    }
    template <class T>
    Variant(const TRefPtr<T>& object) noexcept
        : Variant(static_cast<TRefCountedObject*>(object.Get()))
    {}

    Variant(const Variant& other) noexcept : FType(other.FType) { CopyPayload(other); }
    Variant(Variant&& other) noexcept : FType(other.FType), FInt(other.FInt)
    {
        other.FType = varEmpty;
        other.FInt = 0;
    }
    ~Variant() { ReleasePayload(); }
    Variant& operator=(const Variant& other) noexcept
    {
        if (this != &other) {
            ReleasePayload();
            FType = other.FType;
            CopyPayload(other);
        }
        return *this;
    }
    Variant& operator=(Variant&& other) noexcept
    {
        if (this != &other) {
            ReleasePayload();
            FType = std::exchange(other.FType, varEmpty);
            FInt = std::exchange(other.FInt, 0);
        }
        return *this;
    }

    static Variant Null() noexcept
    {
        Variant v;
        v.FType = varNull;
        return v;
    }
    static Variant Unassigned() noexcept { return Variant(); }

    TVarType Type() const noexcept { return FType; }
    bool IsEmpty() const noexcept { return FType == varEmpty; }
    bool IsNull() const noexcept { return FType == varNull; }
    bool IsInteger() const noexcept { return FType == varInt64; }
    bool IsFloat() const noexcept { return FType == varDouble; }
    bool IsBoolean() const noexcept { return FType == varBoolean; }
    bool IsString() const noexcept { return FType == varUString; }
    bool IsObject() const noexcept { return FType == varUnknown; }
    // Integer, Float or Boolean: what arithmetic takes without parsing.
    bool IsNumeric() const noexcept
    {
        return FType == varInt64 || FType == varDouble || FType == varBoolean;
    }

    // Raw payload for the kind the caller has checked.
    std::int64_t VInt64() const noexcept { return FInt; }
    double VDouble() const noexcept { return FFloat; }
    bool VBoolean() const noexcept { return FBool; }
    const UnicodeString& VString() const noexcept { return FStr; }
    TRefCountedObject* VUnknown() const noexcept { return FObj; }

    // Conversions by the variant rules; the common kind is answered inline.
    std::int64_t ToInteger() const { return FType == varInt64 ? FInt : ToIntegerSlow(); }
    double ToFloat() const
    {
        if (FType == varDouble)
            return FFloat;
        if (FType == varInt64)
            return static_cast<double>(FInt);
        return ToFloatSlow();
    }
    bool ToBoolean() const { return FType == varBoolean ? FBool : ToBooleanSlow(); }
    UnicodeString ToString() const { return FType == varUString ? FStr : ToStringSlow(); }
    // Unassigned gives nullptr; any other non-object kind raises the cast error.
    TRefCountedObject* ToObject() const
    {
        if (FType == varUnknown)
            return FObj;
        return ToObjectSlow();
    }

    void SetInteger(std::int64_t value) noexcept
    {
        if (HoldsReference())
            ReleasePayload();
        FType = varInt64;
        FInt = value;
    }
    void SetFloat(double value) noexcept
    {
        if (HoldsReference())
            ReleasePayload();
        FType = varDouble;
        FFloat = value;
    }
    void SetBoolean(bool value) noexcept
    {
        if (HoldsReference())
            ReleasePayload();
        FType = varBoolean;
        FInt = 0;
        FBool = value;
    }
    void SetString(UnicodeString value) noexcept
    {
        if (FType == varUString) {
            FStr = std::move(value);
            return;
        }
        if (HoldsReference())
            ReleasePayload();
        FType = varUString;
        new (&FStr) UnicodeString(std::move(value));
    }
    void SetObject(TRefCountedObject* object) noexcept { *this = Variant(object); }
    void SetNull() noexcept
    {
        ReleasePayload();
        FType = varNull;
        FInt = 0;
    }
    void Clear() noexcept
    {
        ReleasePayload();
        FType = varEmpty;
        FInt = 0;
    }
    void Swap(Variant& other) noexcept
    {
        std::swap(FType, other.FType);
        std::swap(FInt, other.FInt);
    }

private:
    bool HoldsReference() const noexcept { return FType == varUString || FType == varUnknown; }
    void CopyPayload(const Variant& other) noexcept
    {
        if (other.FType == varUString)
            new (&FStr) UnicodeString(other.FStr);
        else {
            FInt = other.FInt;
            if (other.FType == varUnknown && FObj)
                FObj->AddRef();
        }
    }
    void ReleasePayload() noexcept
    {
        if (FType == varUString)
            FStr.~UnicodeString();
        else if (FType == varUnknown && FObj)
            FObj->Release();
        FType = varEmpty;
        FInt = 0;
    }
    std::int64_t ToIntegerSlow() const;
    double ToFloatSlow() const;
    bool ToBooleanSlow() const;
    UnicodeString ToStringSlow() const;
    TRefCountedObject* ToObjectSlow() const;

    TVarType FType;
    // Move and swap copy the payload as raw bits: a UnicodeString is one
    // pointer with no self-references, so that is a valid move.
    union {
        std::int64_t FInt;
        double FFloat;
        bool FBool;
        UnicodeString FStr;
        TRefCountedObject* FObj;
    };
};

static_assert(sizeof(Variant) == 16, "a Variant slot must stay 16 bytes");
static_assert(sizeof(UnicodeString) == sizeof(void*));

// The storage of every script value: one slot per scalar.
using TData = std::vector<Variant>;

// ---------------------------------------------------------------------------
// Variant functions, operators and comparisons
// ---------------------------------------------------------------------------

inline TVarType VarType(const Variant& v) noexcept
{
    return v.Type();
}
inline bool VarIsNull(const Variant& v) noexcept
{
    return v.IsNull();
}
inline bool VarIsEmpty(const Variant& v) noexcept
{
    return v.IsEmpty();
}
// The value as text; Null gives the empty string.
UnicodeString VarToStr(const Variant& v);
// The value converted to the kind `type` (Empty, Null, Int64 and the other
// integer kinds, Double/Single/Currency/Date, Boolean, String kinds);
// an impossible conversion raises EVariantTypeCastError.
Variant VarAsType(const Variant& v, TVarType type);

// Arithmetic on variants. String + String concatenates; a String meeting a
// number is read as a number; Integer op Integer stays Integer and wraps;
// Integer with Float gives Float; Booleans count as -1/0; Null propagates;
// Unassigned acts as 0 or ''.
Variant VarAdd(const Variant& a, const Variant& b);
Variant VarSub(const Variant& a, const Variant& b);
Variant VarMul(const Variant& a, const Variant& b);
// Float division, always ("/").
Variant VarDivide(const Variant& a, const Variant& b);
// Integer division and remainder ("div", "mod").
Variant VarIntDiv(const Variant& a, const Variant& b);
Variant VarMod(const Variant& a, const Variant& b);
// Two Booleans give a Boolean; otherwise bitwise on 64-bit integers.
Variant VarAnd(const Variant& a, const Variant& b);
Variant VarOr(const Variant& a, const Variant& b);
Variant VarXor(const Variant& a, const Variant& b);
Variant VarNeg(const Variant& v);
// Boolean negation for a Boolean, bitwise complement otherwise.
Variant VarNot(const Variant& v);
// Both operands as text, joined; Null propagates.
Variant VarConcat(const Variant& a, const Variant& b);

enum class TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

// Null equals only Null and is less than everything else; strings compare
// by code unit; a String against a number compares numerically when the
// String reads as a number, as text otherwise; NaN answers vrNotEqual.
TVariantRelationship VarCompareValue(const Variant& a, const Variant& b);
inline bool VarEquals(const Variant& a, const Variant& b)
{
    return VarCompareValue(a, b) == TVariantRelationship::vrEqual;
}

// ---------------------------------------------------------------------------
// Checked arithmetic shared by the operators
// ---------------------------------------------------------------------------

// Text of the host arithmetic errors.
inline constexpr char16_t DivByZeroMessage[] = u"Division by zero";
inline constexpr char16_t FloatDivByZeroMessage[] = u"Floating point division by zero";
inline constexpr char16_t InvalidFloatOpMessage[] = u"Invalid floating point operation";
inline constexpr char16_t FloatOverflowMessage[] = u"Floating point overflow";

[[noreturn]] void RaiseDivByZero();      // EDivByZero "Division by zero"
[[noreturn]] void RaiseFloatDivByZero(); // EZeroDivide
[[noreturn]] void RaiseInvalidFloatOp(); // EInvalidOp
[[noreturn]] void RaiseFloatOverflow();  // EOverflow

// 64-bit integers wrap: the arithmetic goes through unsigned values, where
// overflow is defined.
inline std::int64_t IntAdd(std::int64_t a, std::int64_t b) noexcept
{
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
inline std::int64_t IntSub(std::int64_t a, std::int64_t b) noexcept
{
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}
inline std::int64_t IntMul(std::int64_t a, std::int64_t b) noexcept
{
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}
inline std::int64_t IntNeg(std::int64_t a) noexcept
{
    return static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(a));
}
// Truncating division; zero raises, and INT64_MIN div -1 (a CPU trap)
// gives the wrapped quotient.
inline std::int64_t IntDiv(std::int64_t dividend, std::int64_t divisor)
{
    if (divisor == 0)
        RaiseDivByZero();
    if (divisor == -1)
        return IntNeg(dividend);
    return dividend / divisor;
}
// Remainder with the sign of the dividend; INT64_MIN mod -1 is 0.
inline std::int64_t IntMod(std::int64_t dividend, std::int64_t divisor)
{
    if (divisor == 0)
        RaiseDivByZero();
    if (divisor == -1)
        return 0;
    return dividend % divisor;
}
// Shift counts are taken modulo 64, as the CPU would for a 64-bit operand.
inline std::int64_t IntShl(std::int64_t value, std::int64_t count) noexcept
{
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(value) << (count & 63));
}
inline std::int64_t IntShr(std::int64_t value, std::int64_t count) noexcept
{
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(value) >> (count & 63));
}

// IEEE results checked the way a trapping FPU would report them: a NaN or
// infinity made from ordinary operands raises; NaN and infinite operands
// pass through quietly.
inline double CheckFloatResult(double result, double a, double b)
{
    if (std::isfinite(result)) [[likely]]
        return result;
    if (std::isnan(result)) {
        if (!std::isnan(a) && !std::isnan(b))
            RaiseInvalidFloatOp();
    } else if (std::isfinite(a) && std::isfinite(b))
        RaiseFloatOverflow();
    return result;
}
inline double FloatAdd(double a, double b)
{
    return CheckFloatResult(a + b, a, b);
}
inline double FloatSub(double a, double b)
{
    return CheckFloatResult(a - b, a, b);
}
inline double FloatMul(double a, double b)
{
    return CheckFloatResult(a * b, a, b);
}
// x / 0 raises "Floating point division by zero"; 0 / 0 raises
// "Invalid floating point operation".
inline double FloatDivide(double a, double b)
{
    if (b == 0.0) {
        if (a == 0.0 || std::isnan(a))
            RaiseInvalidFloatOp();
        RaiseFloatDivByZero();
    }
    return CheckFloatResult(a / b, a, b);
}

// Rounds half to even into the 64-bit range; false for NaN or out of range.
bool TryFloatToInt64(double value, std::int64_t& result) noexcept;

// ---------------------------------------------------------------------------
// Numbers and text
// ---------------------------------------------------------------------------

// Decimal, "-" for negatives.
UnicodeString IntToStr(std::int64_t value);
// The general format: 15 significant digits, "." as decimal separator,
// fixed notation unless the decimal exponent is above 14 or below -4, then
// "1E15", "1E-5", "1.23456789012346E17"; "INF", "-INF", "NAN"; -0 is "0".
UnicodeString FloatToStr(double value);

// Integer grammar: leading blanks, optional sign, decimal digits or "$"/"0x"
// followed by hex digits, nothing after. Decimal must fit the 64-bit range;
// hex may use all 64 bits ($FFFFFFFFFFFFFFFF is -1).
bool TryStrToInt64(std::u16string_view text, std::int64_t& value) noexcept;
// Float grammar: leading blanks, optional sign, digits with an optional "."
// and fraction, optional exponent; "INF", "NAN" in any case; nothing after.
bool TryStrToFloat(std::u16string_view text, double& value) noexcept;

inline constexpr char16_t InvalidIntegerMessage[] = u"'%s' is not a valid integer value";
inline constexpr char16_t InvalidFloatMessage[] = u"'%s' is not a valid floating point value";

// As the Try forms, raising EConvertError with the messages above.
std::int64_t StrToInt64(std::u16string_view text);
double StrToFloat(std::u16string_view text);
