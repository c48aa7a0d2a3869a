#pragma once

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <beacon/system_types.h>

template <typename T>
class PropertyValue;

// An equal text that shares its characters with every other text handed in
// lately: a process-wide set of at most sharedTextLimit texts, emptied when
// full, so that a network of ever new values cannot grow it without bound.
// Safe from any thread.
QString sharedText(const QString& text);
constexpr int sharedTextLimit = 4096;

// A named, typed, observable value. The name is also the JSON key of the
// value and the key of the change events that its owner raises.
class Property {
public:
    // How a text value is held: Shared for values that many devices repeat
    // (a maker, a version, a mask), which are then held once per process
    // rather than once per device.
    enum class Texts { Own, Shared };

    explicit Property(const std::string& name, Texts texts = Texts::Own)
        : m_name(&Name::of(name, texts)) {}
    virtual ~Property() = default;

    // The type held by the concrete PropertyValue<T>.
    virtual const std::type_info& valueType() const = 0;

    const std::string& name() const { return m_name->name; }
    // The name as the JSON key.
    QString key() const { return m_name->key; }

    // Checked downcast; throws std::bad_cast when T is not the held type.
    template <typename T>
    PropertyValue<T>& as();
    template <typename T>
    const PropertyValue<T>& as() const;

protected:
    bool sharesTexts() const { return m_name->texts == Texts::Shared; }

private:
    // Every device holds some thirty properties: each name and its key are
    // kept once per process and shared, not copied into every property.
    struct Name {
        std::string name;
        QString key;
        Texts texts;
        // The one entry for this name and way, made on first use; never freed.
        static const Name& of(const std::string& name, Texts texts);
    };

    const Name* m_name;
};

// One observable value. set() assigns only a different value and then calls
// the listeners in registration order, on the calling thread, before it
// returns. Properties carry no lock: their owners keep uses from overlapping.
template <typename T>
class PropertyValue : public Property {
public:
    using Listener = std::function<void(const PropertyValue<T>&)>;
    // A listener of two words: a plain function and what it is called for.
    using Notify = void (*)(void* receiver, const PropertyValue<T>&);

    PropertyValue(std::string name, T initial, Texts texts = Texts::Own)
        : Property(std::move(name), texts), m_value(std::move(initial)) {}

    // Member-wise: name, value and listeners.
    PropertyValue(const PropertyValue& other)
        : Property(other),
          m_value(other.m_value),
          m_notify(other.m_notify),
          m_receiver(other.m_receiver),
          m_moreListeners(copyOf(other.m_moreListeners)) {}
    PropertyValue& operator=(const PropertyValue& other) {
        if (this != &other) {
            Property::operator=(other);
            m_value = other.m_value;
            m_notify = other.m_notify;
            m_receiver = other.m_receiver;
            m_moreListeners = copyOf(other.m_moreListeners);
        }
        return *this;
    }
    PropertyValue(PropertyValue&&) = default;
    PropertyValue& operator=(PropertyValue&&) = default;

    const std::type_info& valueType() const override { return typeid(T); }

    const T& get() const { return m_value; }

    void set(const T& value) {
        if (value == m_value) {
            return;
        }
        if constexpr (std::is_same_v<T, QString>) {
            m_value = sharesTexts() ? sharedText(value) : value;
        } else {
            m_value = value;
        }
        if (m_notify) {
            m_notify(m_receiver, *this);
        }
        // Index loop: a listener may add listeners to this same property.
        for (std::size_t i = 0; m_moreListeners && i < m_moreListeners->size(); ++i) {
            (*m_moreListeners)[i](*this);
        }
    }

    // Listeners are never removed; they live as long as the property.
    void addListener(Listener listener) {
        if (!m_moreListeners) {
            m_moreListeners = std::make_unique<std::vector<Listener>>();
        }
        m_moreListeners->push_back(std::move(listener));
    }
    // The same as a listener calling notify(receiver, property).
    void addListener(Notify notify, void* receiver) {
        if (!m_notify && !m_moreListeners) {
            m_notify = notify;
            m_receiver = receiver;
        } else {
            addListener([notify, receiver](const PropertyValue<T>& property) {
                notify(receiver, property);
            });
        }
    }

private:
    static std::unique_ptr<std::vector<Listener>> copyOf(
        const std::unique_ptr<std::vector<Listener>>& listeners) {
        return listeners ? std::make_unique<std::vector<Listener>>(*listeners) : nullptr;
    }

    T m_value;
    // Nearly every property has one listener (its owner's), registered
    // first: held in place as two pointers, it costs no allocation and a
    // third of a std::function. Only a first listener is held so, so that
    // the order of registration is the order of the calls.
    Notify m_notify = nullptr;
    void* m_receiver = nullptr;
    std::unique_ptr<std::vector<Listener>> m_moreListeners;
};

template <typename T>
PropertyValue<T>& Property::as() {
    if (valueType() != typeid(T)) {
        throw std::bad_cast();
    }
    return static_cast<PropertyValue<T>&>(*this);
}

template <typename T>
const PropertyValue<T>& Property::as() const {
    if (valueType() != typeid(T)) {
        throw std::bad_cast();
    }
    return static_cast<const PropertyValue<T>&>(*this);
}

// --- Text forms of the protocol enums, as the browser shows them -----------

// "ACTIVE", "WARNING", "ERROR", "LOCALIZE", "UNKNOWN"; "" for any other value.
QString deviceStateText(DeviceAdministrationFbbApi::DeviceState state);
// Exact, case-sensitive match of the prefix-less text; anything else is UNKNOWN.
DeviceAdministrationFbbApi::DeviceState deviceStateFromText(const QString& text);
// "PersistentIP", "DHCP", "Unknown"; "" for any other value.
QString networkMethodText(sdk::system::network_method_type method);
// "PersistentIP", "DHCP", "Unknown"; anything else is UNKNOWN.
sdk::system::network_method_type networkMethodFromText(const QString& text);

// --- JSON form of a value ----------------------------------------------------
// One overload per value type. Other folders add overloads for their own
// types (found by argument-dependent lookup from the templates below).

QJsonValue toJsonValue(const QString& value);
QJsonValue toJsonValue(bool value);
QJsonValue toJsonValue(int value);
// null for a null date-time, else ISO 8601 text.
QJsonValue toJsonValue(const QDateTime& value);
QJsonValue toJsonValue(const QStringList& value);
QJsonValue toJsonValue(DeviceAdministrationFbbApi::DeviceState value);
QJsonValue toJsonValue(sdk::system::network_method_type value);

// The JSON form of a property's current value.
template <typename T>
QJsonValue propertyJson(const PropertyValue<T>& property) {
    return toJsonValue(property.get());
}

// Writes the property into a record's object under its name.
template <typename T>
void writeJsonProperty(QJsonObject& object, const PropertyValue<T>& property) {
    object.insert(property.key(), toJsonValue(property.get()));
}

// --- Strict readers ------------------------------------------------------------
// Each reads the key name() of the object into the property through set().
// A missing key throws the QString name + " not found"; a value of the wrong
// JSON type throws name + " value type mismatch. Expected <type>".

void readJsonProperty(PropertyValue<QString>& property, QJsonObject object);
void readJsonProperty(PropertyValue<bool>& property, QJsonObject object);
void readJsonProperty(PropertyValue<int>& property, QJsonObject object);
void readJsonProperty(PropertyValue<QDateTime>& property, QJsonObject object);
void readJsonProperty(PropertyValue<QStringList>& property, QJsonObject object);
void readJsonProperty(PropertyValue<DeviceAdministrationFbbApi::DeviceState>& property,
                      QJsonObject object);
void readJsonProperty(PropertyValue<sdk::system::network_method_type>& property,
                      QJsonObject object);

// The value at the property's key, or the " not found" throw. For readers of
// other folders' types.
QJsonValue requireJsonKey(const Property& property, const QJsonObject& object);
// Throws name + " value type mismatch. Expected " + expected.
[[noreturn]] void throwTypeMismatch(const Property& property, const char* expected);
