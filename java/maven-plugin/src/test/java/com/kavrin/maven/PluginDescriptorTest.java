package com.kavrin.maven;

import static org.junit.Assert.assertEquals;

import java.io.InputStream;
import java.util.HashMap;
import java.util.Map;
import javax.xml.parsers.DocumentBuilderFactory;
import javax.xml.xpath.XPath;
import javax.xml.xpath.XPathFactory;

import org.junit.Test;
import org.w3c.dom.Document;
import org.w3c.dom.Element;
import org.w3c.dom.NodeList;

/**
 * What a pom that only names the plugin gets: the goal, its phase and the
 * parameter defaults, as Maven reads them from the generated descriptor.
 */
public class PluginDescriptorTest {
    @Test
    public void packRunsInThePackagePhaseWithTheDocumentedDefaults() throws Exception {
        Document descriptor;
        try (InputStream in = getClass().getResourceAsStream("/META-INF/maven/plugin.xml")) {
            descriptor = DocumentBuilderFactory.newInstance().newDocumentBuilder().parse(in);
        }
        XPath xpath = XPathFactory.newInstance().newXPath();
        assertEquals("kavrin", xpath.evaluate("/plugin/goalPrefix", descriptor));
        Element mojo = (Element) xpath.evaluate("/plugin/mojos/mojo[goal='pack']", descriptor,
                javax.xml.xpath.XPathConstants.NODE);
        assertEquals("package", xpath.evaluate("phase", mojo));
        assertEquals("runtime", xpath.evaluate("requiresDependencyResolution", mojo));

        Map<String, String> defaults = new HashMap<>();
        Map<String, String> properties = new HashMap<>();
        NodeList configuration = (NodeList) xpath.evaluate("configuration/*", mojo,
                javax.xml.xpath.XPathConstants.NODESET);
        for (int i = 0; i < configuration.getLength(); i++) {
            Element parameter = (Element) configuration.item(i);
            defaults.put(parameter.getTagName(), parameter.getAttribute("default-value"));
            properties.put(parameter.getTagName(), parameter.getTextContent());
        }
        assertEquals("${project.basedir}/kavrin.toml", defaults.get("projectFile"));
        assertEquals("${project.build.directory}/${project.artifactId}.exe", defaults.get("outputFile"));
        assertEquals("", defaults.get("stub"));  // kavrin-pack takes the stub beside itself
        assertEquals("", defaults.get("executable"));  // kavrin-pack on PATH
        assertEquals("false", defaults.get("classPathFromDependencies"));
        assertEquals("false", defaults.get("msi"));
        assertEquals("${kavrin.executable}", properties.get("executable"));
        assertEquals("${kavrin.stub}", properties.get("stub"));
    }
}
