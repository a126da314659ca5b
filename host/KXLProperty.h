// Value properties of host records.
#ifndef HOST_KXLPROPERTY_H
#define HOST_KXLPROPERTY_H

#include <utility>

namespace KXL {

template <typename T>
class KXLProperty {
public:
    KXLProperty() = default;
    explicit KXLProperty(T value) : m_value(std::move(value)) {}
    operator const T&() const { return m_value; }

protected:
    T m_value{}; // first member: the record layout relies on it

    void assign(T value) { m_value = std::move(value); }
};

// A property that may be unset; an unset one holds T's default value.
template <typename T>
class KXLOptionalProperty : public KXLProperty<T> {
public:
    KXLOptionalProperty() = default;
    explicit KXLOptionalProperty(T value) : KXLProperty<T>(std::move(value)), m_set(true) {}

    KXLOptionalProperty& operator=(T value)
    {
        this->assign(std::move(value));
        m_set = true;
        return *this;
    }
    bool isSet() const { return m_set; }

private:
    bool m_set = false;
};

} // namespace KXL

#endif
