// A fixed set of threads that run one piece of work at the same time, started and awaited
// through one barrier, so that a measured round pays no thread creation.
using System;
using System.Threading;

namespace VTLogAdapter.Benchmarks
{
    internal sealed class ThreadGang : IDisposable
    {
        private readonly Barrier m_barrier;
        private readonly Thread[] m_threads;
        private Action? m_work;
        private volatile bool m_stopping;

        public ThreadGang(int count)
        {
            m_barrier = new Barrier(count + 1);
            m_threads = new Thread[count];
            for (int i = 0; i < count; i++)
            {
                m_threads[i] = new Thread(Loop) { IsBackground = true, Name = "gang " + i };
                m_threads[i].Start();
            }
        }

        public int Count => m_threads.Length;

        // Runs `work` once on every thread of the gang; returns when all have finished.
        public void Run(Action work)
        {
            m_work = work;
            m_barrier.SignalAndWait();
            m_barrier.SignalAndWait();
        }

        public void Dispose()
        {
            m_stopping = true;
            m_barrier.SignalAndWait();
            foreach (Thread thread in m_threads)
            {
                thread.Join();
            }

            m_barrier.Dispose();
        }

        private void Loop()
        {
            while (true)
            {
                m_barrier.SignalAndWait();
                if (m_stopping)
                {
                    return;
                }

                m_work!();
                m_barrier.SignalAndWait();
            }
        }
    }
}
