// drav_dict.h - the dictionary library shared by host and plug-in.
//
// Job, page and separation descriptions travel from the host to the plug-in
// as containers (CDictContainer) that hold a CStringKeyDict: an ordered map
// from text keys to CUnivType values. A value is an integer, a real, a text, a
// list of values or a nested dictionary. Every failure (a missing key, a
// value of the wrong type, an unknown container) throws CUnivBaseException,
// whose message text names the key or the problem.
//
// The library is a shared library used by both sides, so values and
// exceptions cross the plug-in boundary safely.
#ifndef DRAV_DICT_H
#define DRAV_DICT_H

#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#define DRAV_DICT_API __attribute__((visibility("default")))

// Result of CStringKeyDict::GetItem.
enum UD_Error_e {
  UD_OK = 0,            // the key exists and its value was delivered
  UD_KEY_NOT_FOUND = 1, // no such key; the output is untouched
  UD_WRONG_TYPE = 2     // the key exists with a value of another type; output untouched
};

class DRAV_DICT_API CUnivBaseException : public std::exception {
 public:
  explicit CUnivBaseException(std::string message);
  const char* what() const noexcept override;
  // The message text, e.g. "Key 'ppi' not found" or
  // "Key 'bps': expected an integer, found a text".
  const std::string& GetMessage() const noexcept;

 private:
  std::string message_;
};

class CStringKeyDict;

class DRAV_DICT_API CUnivType {
 public:
  using List = std::vector<CUnivType>;
  enum class Kind { Undefined, Integer, Real, Text, List, Dict };

  CUnivType();  // Undefined
  CUnivType(int value);
  CUnivType(double value);
  CUnivType(const char* value);  // null gives an empty text
  CUnivType(std::string value);
  CUnivType(List value);
  CUnivType(const CStringKeyDict& value);
  CUnivType(const CUnivType& other);  // deep copy
  CUnivType(CUnivType&& other) noexcept;
  CUnivType& operator=(const CUnivType& other);
  CUnivType& operator=(CUnivType&& other) noexcept;
  ~CUnivType();

  CUnivType& operator=(int value);
  CUnivType& operator=(double value);
  CUnivType& operator=(const char* value);
  CUnivType& operator=(std::string value);
  CUnivType& operator=(List value);
  CUnivType& operator=(const CStringKeyDict& value);

  Kind GetKind() const noexcept;
  static const char* KindName(Kind kind) noexcept;  // "an integer", "a real", ...

  // Conversions. Each throws CUnivBaseException on a value of another kind.
  // AsReal also accepts an integer; AsInt accepts only an integer.
  int AsInt() const;
  double AsReal() const;
  const std::string& AsText() const;
  const List& AsList() const;
  List& AsList();
  const CStringKeyDict& AsDict() const;
  CStringKeyDict& AsDict();

 private:
  Kind kind_ = Kind::Undefined;
  int int_ = 0;
  double real_ = 0.0;
  std::string text_;
  std::unique_ptr<List> list_;
  std::unique_ptr<CStringKeyDict> dict_;
};

// Keys are compared exactly (with case); entries keep their insertion order.
class DRAV_DICT_API CStringKeyDict {
 public:
  using Entry = std::pair<std::string, CUnivType>;

  CStringKeyDict();
  CStringKeyDict(const CStringKeyDict& other);
  CStringKeyDict(CStringKeyDict&& other) noexcept;
  CStringKeyDict& operator=(const CStringKeyDict& other);
  CStringKeyDict& operator=(CStringKeyDict&& other) noexcept;
  ~CStringKeyDict();

  // Non-const access creates an Undefined entry at the end when the key is new.
  // Adding or removing an entry invalidates references to values of this
  // dictionary, so d["new"] = d["old"] must copy d["old"] first.
  CUnivType& operator[](std::string_view key);
  // Const access throws CUnivBaseException("Key '<key>' not found").
  const CUnivType& operator[](std::string_view key) const;

  bool Has(std::string_view key) const noexcept;
  std::size_t Size() const noexcept;
  const std::vector<Entry>& Entries() const noexcept;
  bool Remove(std::string_view key);

  // Typed reads that name the key in their exception text:
  // "Key '<key>' not found", "Key '<key>': expected an integer, found a text".
  int GetInt(std::string_view key) const;
  double GetReal(std::string_view key) const;  // integer values are widened
  const std::string& GetText(std::string_view key) const;
  const CUnivType::List& GetList(std::string_view key) const;
  const CStringKeyDict& GetDict(std::string_view key) const;

  // Non-throwing reads: UD_OK and the value, or the reason and out untouched.
  UD_Error_e GetItem(std::string_view key, CUnivType::List& out) const;
  UD_Error_e GetItem(std::string_view key, std::string& out) const;
  UD_Error_e GetItem(std::string_view key, int& out) const;
  UD_Error_e GetItem(std::string_view key, double& out) const;
  UD_Error_e GetItem(std::string_view key, CStringKeyDict& out) const;

 private:
  const CUnivType* Find(std::string_view key) const noexcept;
  std::vector<Entry> entries_;
};

// A named dictionary handed across the plug-in interface. Containers are made
// and deleted only by a CDictContainerFactory.
class DRAV_DICT_API CDictContainer {
 public:
  CStringKeyDict& GetDict() noexcept;
  const CStringKeyDict& GetDict() const noexcept;
  const std::string& GetName() const noexcept;

 private:
  friend class CDictContainerFactory;
  CDictContainer(std::string name, CStringKeyDict dict);
  ~CDictContainer();
  std::string name_;
  CStringKeyDict dict_;
};

// Owns the containers it makes. Deleting the factory deletes every container
// still alive.
class DRAV_DICT_API CDictContainerFactory {
 public:
  CDictContainerFactory();
  ~CDictContainerFactory();
  CDictContainerFactory(const CDictContainerFactory&) = delete;
  CDictContainerFactory& operator=(const CDictContainerFactory&) = delete;

  // Copies dict into a new container called name (null gives "").
  CDictContainer* NewDictContainer(const CStringKeyDict& dict, const char* name);
  // Throws CUnivBaseException when container is null or was not made by this
  // factory (or was deleted already); nothing is deleted then.
  void DeleteDictContainer(CDictContainer* container);
  std::size_t Count() const noexcept;

 private:
  std::vector<CDictContainer*> containers_;
};

#endif  // DRAV_DICT_H
