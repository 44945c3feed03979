// A real client: a minimal ASP.NET Core application whose framework logs through the provider.
using System;
using System.Linq;
using System.Net.Http;
using System.Threading.Tasks;
using Microsoft.AspNetCore.Builder;
using Microsoft.AspNetCore.Hosting;
using Microsoft.AspNetCore.Hosting.Server;
using Microsoft.AspNetCore.Hosting.Server.Features;
using Microsoft.AspNetCore.Http;
using Microsoft.Extensions.DependencyInjection;
using Microsoft.Extensions.Logging;
using Xunit;

namespace VTLogAdapter.Extensions.Logging.Tests
{
    [Collection(EngineCollection.Name)]
    public sealed class AspNetCoreTests
    {
        private const string HostingCategory = "Microsoft.AspNetCore.Hosting.Diagnostics";
        private readonly EngineFixture engine;

        public AspNetCoreTests(EngineFixture engine)
        {
            this.engine = engine;
        }

        [Fact]
        public async Task KestrelRequestLinesReachTheGeneralLog()
        {
            string path = "/" + ProviderTests.Unique("hello");
            WebApplicationBuilder builder = WebApplication.CreateBuilder(new WebApplicationOptions
            {
                Args = Array.Empty<string>(),
                ContentRootPath = AppContext.BaseDirectory,
            });
            builder.Logging.ClearProviders();
            builder.Logging.AddVTLogAdapter();
            builder.WebHost.UseUrls("http://127.0.0.1:0");
            await using (WebApplication app = builder.Build())
            {
                app.MapGet(path, () => "hi");
                await app.StartAsync();
                string address = app.Services.GetRequiredService<IServer>().Features.Get<IServerAddressesFeature>()!.Addresses.Single();
                using (var client = new HttpClient { Timeout = TimeSpan.FromSeconds(30) })
                {
                    Assert.Equal("hi", await client.GetStringAsync(address + path));
                }

                await app.StopAsync();
            }

            var requestLines = engine.Records(EngineFolder.GeneralLogName)
                .Where(record => record.Category == HostingCategory && record.Message.Contains(path, StringComparison.Ordinal))
                .ToList();
            Assert.Contains(requestLines, record => record.Level == "INFO" && record.Message.StartsWith("Request starting HTTP/1.1 GET http://127.0.0.1:", StringComparison.Ordinal));
            Assert.Contains(requestLines, record => record.Level == "INFO" && record.Message.StartsWith("Request finished HTTP/1.1 GET http://127.0.0.1:", StringComparison.Ordinal) && record.Message.Contains(" - 200 ", StringComparison.Ordinal));
        }
    }
}
