package com.kavrin.maven;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.Arrays;
import java.util.List;

import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugin.logging.SystemStreamLog;
import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

/** The builder is a stand-in shell script: what it prints and how it exits decide the build. */
public class PackRunnerTest {
    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    private final PackRunner runner = new PackRunner(new SystemStreamLog());

    private String builder(String script) throws IOException {
        File file = temp.newFile("kavrin-pack");
        Files.write(file.toPath(), ("#!/bin/sh\n" + script).getBytes(StandardCharsets.UTF_8));
        assertTrue(file.setExecutable(true));
        return file.getPath();
    }

    @Test
    public void theArgumentsReachTheBuilderOneByOne() throws Exception {
        String builder = builder("for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done\n");
        List<String> command = new PackCommand(builder, new File("my dir/kavrin.toml"), new File("target/app.exe"))
                .classPath(Arrays.asList("A1lib\\app.jar")).build();
        assertEquals(Arrays.asList("[build]", "[my dir/kavrin.toml]", "[-o]", "[target/app.exe]", "[--class-path]",
                "[A1lib\\app.jar]"), runner.output(command));
    }

    @Test
    public void aFailingBuilderFailsTheBuildWithItsOwnMessage() throws Exception {
        String message = "kavrin-pack: kavrin.toml:7: setting 'jvm.min-version': expected a string, got an integer";
        String builder = builder("echo \"" + message + "\" >&2\nexit 1\n");
        try {
            runner.output(Arrays.asList(builder, "build", "kavrin.toml"));
            fail("no failure");
        } catch (MojoFailureException e) {
            assertEquals(message, e.getMessage());
        }
    }

    @Test
    public void aMissingBuilderSaysHowToNameIt() throws Exception {
        try {
            runner.output(Arrays.asList(new File(temp.getRoot(), "nowhere/kavrin-pack").getPath(), "build"));
            fail("no failure");
        } catch (MojoExecutionException e) {
            assertTrue(e.getMessage(), e.getMessage().contains("-Dkavrin.executable"));
        }
    }
}
