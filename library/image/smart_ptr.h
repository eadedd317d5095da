#pragma once

#include <atomic>
#include <stdexcept>

// A fixed-size array shared by reference count. Copies share the elements;
// the last holder destroys them. Only the count is thread-safe.
template <typename T>
class CSmartPtrToNonClass {
public:
    explicit CSmartPtrToNonClass(int count)
    {
        if (count < 0)
            throw std::invalid_argument("CSmartPtrToNonClass: negative size");
        if (count > 0)
            m_pBlock = new Block(count);  // std::bad_alloc on exhaustion
    }
    CSmartPtrToNonClass(const CSmartPtrToNonClass& other) : m_pBlock(other.m_pBlock) { Acquire(); }
    CSmartPtrToNonClass& operator=(const CSmartPtrToNonClass& other)
    {
        if (m_pBlock != other.m_pBlock) {
            Release();
            m_pBlock = other.m_pBlock;
            Acquire();
        }
        return *this;
    }
    ~CSmartPtrToNonClass() { Release(); }

    unsigned int GetArraySize() const { return m_pBlock ? unsigned(m_pBlock->count) : 0u; }

    T& operator[](int i) const
    {
        if (!m_pBlock || i < 0 || i >= m_pBlock->count)
            throw std::out_of_range("CSmartPtrToNonClass: index out of range");
        return m_pBlock->elements[i];
    }

    // Number of holders sharing the array (0 for an empty holder).
    long UseCount() const { return m_pBlock ? long(m_pBlock->references.load()) : 0; }

private:
    struct Block {
        explicit Block(int n) : count(n), elements(new T[n]()) {}
        ~Block() { delete[] elements; }
        int count;
        T* elements;
        std::atomic<unsigned int> references{1};
    };

    void Acquire()
    {
        if (m_pBlock)
            m_pBlock->references.fetch_add(1, std::memory_order_relaxed);
    }
    void Release()
    {
        if (m_pBlock && m_pBlock->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete m_pBlock;
        m_pBlock = nullptr;
    }

    Block* m_pBlock = nullptr;
};

// The same holder, for class types.
template <typename T>
class CSmartPtr : public CSmartPtrToNonClass<T> {
public:
    using CSmartPtrToNonClass<T>::CSmartPtrToNonClass;
};
