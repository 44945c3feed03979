// The compiler honours this attribute by its name on every target framework; netstandard2.0
// does not declare it.
namespace System.Runtime.CompilerServices
{
    [AttributeUsage(AttributeTargets.Method, Inherited = false)]
    internal sealed class SkipLocalsInitAttribute : Attribute
    {
    }
}
