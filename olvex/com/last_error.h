// The last-error pair every engine object keeps: a text ("Success." when
// nothing failed) and a number. Members report failures here and through
// their success out-parameter, and return S_OK.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <mutex>
#include <string>
#include <string_view>

namespace olvex::com {

inline constexpr char kSuccessText[] = "Success.";
inline constexpr char kNotInitializedText[] = "Not initialized.";

class LastError {
  public:
    LastError() = default;
    LastError(const LastError&) = delete;
    LastError& operator=(const LastError&) = delete;

    // Both parts at once, or one of them alone (some members report a text
    // and leave the number as it was).
    void Set(std::string_view text, long code) noexcept;
    void SetText(std::string_view text) noexcept;
    void SetCode(long code) noexcept;
    // "Success." and 0.
    void SetSuccess() noexcept;

    std::string Text() const;
    long Code() const;

    // The bodies of the bsLastError and nLastError accessors.
    HRESULT GetText(BSTR* out) const;
    HRESULT PutText(BSTR value);
    HRESULT GetCode(long* out) const;

    // The guard of members that need an initialised object: when it is not,
    // sets the text (and the number, when given), writes false to the
    // success out-parameter (when there is one) and answers false.
    bool RequireInitialized(bool initialized, VARIANT_BOOL* success,
                            std::string_view text = kNotInitializedText) noexcept;
    bool RequireInitialized(bool initialized, VARIANT_BOOL* success, std::string_view text,
                            long code) noexcept;

  private:
    // Scans on worker threads report errors while the client may read them.
    mutable std::mutex mutex_;
    std::string text_ = kSuccessText;
    long code_ = 0;
};

}  // namespace olvex::com
